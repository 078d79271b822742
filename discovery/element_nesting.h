#pragma once
// How deep rapidxml's default parse (flags 0) will nest into a text, known before it runs.
// The parser recurses once per element level, so a hostile file could exhaust the stack.
#include <cstddef>

namespace qm {

// The most elements the parser will have open at once while parsing the zero-terminated text,
// counting an element from the moment its start tag is begun (so "<a/>" is 1). It follows the
// parser's own grammar for every construct that decides nesting and stops where the parser
// raises an error, so it is never less than the parser's recursion depth.
std::size_t DeepestElementNesting(const char* text);

} // namespace qm
