// Names and messages as they can be shown safely: on a terminal, in a
// text report, in XML. File names and job bytes come from anywhere (other
// encodings, control characters, binary garbage); none of them may reach a
// terminal raw or break a document.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace shown {

// The length of the well-formed UTF-8 sequence at text[at] that stands for
// a character XML and terminals accept (no control character, no
// surrogate, no noncharacter U+FFFE/U+FFFF), or 0 when the byte there
// does not start one.
std::size_t printable_sequence(std::string_view text, std::size_t at);

// The text with every byte that is not part of a printable character (a
// control byte, NUL included, or a byte of an invalid UTF-8 sequence)
// written as \xNN. Printable ASCII and well-formed UTF-8 stay as they are.
std::string text(std::string_view raw);

// The text as XML character data or attribute value: shown as text() does,
// then & < > " ' escaped, so that any bytes give a well-formed document.
std::string xml(std::string_view raw);

// The text as valid UTF-8 for JSON: each byte of an invalid sequence
// replaced by U+FFFD; control characters are left to the JSON writer.
std::string utf8(std::string_view raw);

} // namespace shown
