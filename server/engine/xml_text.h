#pragma once

// Text becoming an xml value. The text is parsed as an XML fragment (any
// number of elements and text at the top level); malformed text fails with
// SQL Server's "XML parsing" error, naming the line and character where the
// parser stopped. The value kept is the fragment written out again as SQL
// Server keeps it: without the XML declaration and the white space between
// tags, attributes double-quoted, CDATA sections and character references as
// plain (escaped) text, and elements without content closed in their tag.

#include <string>
#include <string_view>

namespace tessel::sqld::engine {

// `text` in UTF-8; throws SqlError 94xx when it is not well-formed.
std::string xmlFromText(std::string_view text);

// The character a predefined entity (lt, gt, amp, quot, apos) stands for;
// 0 for any other name.
char32_t xmlEntityChar(std::string_view name);

// Bytes converted to xml: UTF-16 behind its byte-order mark, else UTF-8.
std::string xmlFromBytes(std::string_view bytes);

}  // namespace tessel::sqld::engine
