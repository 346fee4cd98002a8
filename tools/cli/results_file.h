#pragma once

#include <iosfwd>
#include <string>

#include "engine/result_store.h"
#include "engine/text_codec.h"

namespace corvane {

// The results file of the command line: UTF-8 text, one result a line:
// offset path, a tab, value text, a tab, the address in uppercase hexadecimal.

void writeResults(std::ostream& out, const ResultStore& results, const TextCodec& codec);

// Replaces the store's content with the file's results, their values kept as
// the texts they were listed with. On a malformed line nothing is replaced and
// `error` says which line and why.
bool readResults(std::istream& in, ResultStore& results, const TextCodec& codec, std::string& error);

}  // namespace corvane
