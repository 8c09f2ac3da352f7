// The formula statement parser: one statement text to an expression tree.
//
// The scanner takes the longest match at each point, ties going to the rule
// listed first; the parser is a precedence-climbing recursive descent that
// keeps the behaviour of a table-driven parser with default reductions: the
// statement ends as soon as the next token cannot continue it, and text after
// a complete statement is ignored. All state lives in the call, so engines of
// different sessions parse at the same time.
#pragma once

#include <cstddef>

#include "exprnode.h"

namespace tq::formula {

enum ParseResult : int { kParseOk = 0, kParseRejected = 1, kParseExhausted = 2 };

// Parse stack entries before "memory exhausted".
constexpr int kParseStackLimit = 10000;

// Parses a statement of `length` bytes (the text may hold no terminator).
// On success *root receives the statement node (kind 14 or 15) with one
// reference; otherwise it is null and the message (when a buffer is given)
// is written after the text the buffer already holds, within `size` bytes.
int parseStatement(const char *text, size_t length, ExprNode **root, char *message, size_t size);

} // namespace tq::formula
