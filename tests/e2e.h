// SPDX-License-Identifier: MIT
// Running the built program, for the end-to-end tests.
#ifndef QUORVIN_TESTS_E2E_H
#define QUORVIN_TESTS_E2E_H

#include <string>
#include <vector>

using Strings = std::vector<std::string>;

struct Result {
	std::string out;
	int status;
};

extern const std::string kBanner;

// The program built beside the tests, or $QUORVIN_PROGRAM, behind
// $QUORVIN_WRAPPER when that is set.
extern const char *const kWrapper, *const kOther;
extern const std::string kProgram;

// A directory of the test's own, ending in /.
std::string Dir();

// What the shell command prints on standard output, and its status.
Result Shell(const std::string &command);

// The output for bytes stored in a file in dir, which the same bytes fed
// through a pipe as "-" must repeat exactly.
Result Outcome(const std::string &dir, const std::string &bytes, const Strings &args);

#endif
