// Header probe: finds the format and data chunks of a WAV file and reads
// the wave attributes the scan needs.
#ifndef QUORVIN_PROBE_H
#define QUORVIN_PROBE_H

#include <cstdint>
#include <cstdio>

// Little-endian assembly of header fields.  Assem2 reads an unsigned 16-bit
// value, Assem4 a signed 32-bit value; both come back widened to 64 bits.
int64_t Assem2(const unsigned char *p);
int64_t Assem4(const unsigned char *p);

// Opens a regular file for binary reading.  Any other kind of file, or a
// path that cannot be opened, is reported and ends the process (status 2).
FILE *OpenWave(const char *path);

// Reads the attributes of the wave file at path.  A file that cannot be
// opened, or that has no format or data chunk, is reported and ends the
// process (status 2).  The frame count never exceeds the whole frames that
// lie between the data offset and the end of the file.
void GetAttributes(const char *path, int64_t *sampleRate,
                   uint32_t *bytesPerSample, uint32_t *channels,
                   uint64_t *dataOffset, uint64_t *frameCount);

#endif
