// The console program's text conversions: UTF-16 from the system, UTF-8 out,
// and the field rules of its formats.
#pragma once

#include <string>

#include "os/System.h"

// UTF-16 as UTF-8; half a surrogate pair, which is no character, becomes
// U+FFFD.
std::string Utf8(const TWideString& Text);
// UTF-8 as UTF-16; a byte that starts no whole character becomes U+FFFD.
TWideString Utf16(const std::string& Text);

// A CSV field as RFC 4180 writes it: quoted, its quotes doubled, when it holds
// a comma, a quote, a line break or space at either end; as it is otherwise.
std::string CsvField(const std::string& Text);

// Text for a line people read, that no name can break into two or forge:
// CR, LF and tab as \r, \n and \t, every other control character as \xHH.
// A backslash stays as it is: paths are full of them.
std::string OneLine(const std::string& Text);

// Whether Name is the image name Sought, upper-cased as the system does, with
// ".exe" optional in Sought.
bool ImageNameMatches(const TWideString& Name, const TWideString& Sought);
