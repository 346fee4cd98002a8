#pragma once

#include <iosfwd>
#include <string>

#include "engine/search/result_store.h"
#include "engine/text/text_codec.h"

namespace corvane {

// The results file of the command line: UTF-8 text, one result a line:
// offset path, a tab, value text, a tab, the address in uppercase hexadecimal.
// In the value a tab, a line feed, a carriage return and a backslash are
// written \t, \n, \r and \\; bytes of a text that is not valid in code
// page 936 are written \xHH from 0x80 up. Every value read from a target
// thus comes back from the file with exactly its bytes.

// A large store is written by two threads: the stream then receives its
// writes from a second thread, one write at a time, and what writing it
// throws is thrown here.
void writeResults(std::ostream& out, const ResultStore& results, const TextCodec& codec);

// Replaces the store's content with the file's results, their values kept as
// the texts they were listed with. On a malformed line nothing is replaced and
// `error` says which line and why.
bool readResults(std::istream& in, ResultStore& results, const TextCodec& codec, std::string& error);

}  // namespace corvane
