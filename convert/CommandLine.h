#pragma once

#include <string>
#include <vector>

// Splits a parameter string into arguments the way a Windows program reads its
// command line (CommandLineToArgvW):
// - blanks and tabs separate arguments; a run of them counts once;
// - double quotes group: blanks between them belong to the argument, and a
//   quoted part may sit inside a longer argument (a"b c"d is one argument);
// - 2n backslashes followed by a double quote give n backslashes, and the quote
//   opens or closes a quoted part;
// - 2n+1 backslashes followed by a double quote give n backslashes and a
//   literal double quote;
// - backslashes not followed by a double quote are literal;
// - "" on its own makes an empty argument.
std::vector<std::string> splitCommandLine(const std::string& parameters);

// True when `value` stays one argument, unchanged, if written between double
// quotes in a parameter string: it holds no double quote and does not end in a
// backslash (which would escape the closing quote).
bool fitsBetweenQuotes(const std::string& value);
