// SPDX-License-Identifier: MIT
// Running the built program, for the end-to-end tests.
#include "e2e.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>

#include "wav_writer.h"

const std::string kBanner = "Quorvin 1.01 by Essolard\n";

// A directory of the test's own, so that tests and checkouts running at
// once never share a file.
std::string Dir()
{
	std::string dir = testing::TempDir() + "quorvin_XXXXXX";
	EXPECT_NE(mkdtemp(&dir[0]), nullptr);
	return dir + "/";
}

// The program built beside the tests, or $QUORVIN_PROGRAM, behind
// $QUORVIN_WRAPPER when that is set: the memory check runs every test under
// valgrind this way, and the cross test another architecture's build
// under qemu.
const char *const kWrapper = getenv("QUORVIN_WRAPPER"), *const kOther = getenv("QUORVIN_PROGRAM");
const std::string kProgram =
    (kWrapper ? kWrapper + std::string(" ") : "") + (kOther ? kOther : QUORVIN_BIN);

Result Shell(const std::string &command)
{
	FILE *p = popen(command.c_str(), "r");
	std::string out;
	char buf[65536];
	for (size_t n; (n = fread(buf, 1, sizeof buf, p)) > 0;)
		out.append(buf, n);
	int status = pclose(p);
	return { out, WIFEXITED(status) ? WEXITSTATUS(status) : -1 };
}

// The output for bytes stored in a file, which the same bytes fed through a
// pipe as "-" must repeat exactly.
Result Outcome(const std::string &dir, const std::string &bytes, const Strings &args)
{
	std::string quoted, path = dir + "in.wav";
	for (const std::string &a : args)
		quoted += " '" + a + "'";
	EXPECT_TRUE(WriteFile(path, bytes));
	Result file = Shell(kProgram + " " + path + quoted);
	Result piped = Shell("cat " + path + " | " + kProgram + " -" + quoted);
	EXPECT_EQ(std::make_pair(piped.out, piped.status), std::make_pair(file.out, file.status))
	    << "through a pipe";
	return file;
}
