#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

// The text a reader sees of a message body, and the substring search the body parser is built on.

namespace sieveclaw {

// Position of the first occurrence of pattern in text at or after from, or npos. With
// caseSensitive clear, ASCII letters match either case (texts are single-byte; other bytes compare
// exactly). An empty pattern is found at from (when from is inside the text or at its end).
// Case-sensitive searches take time linear in the text whatever it holds; case-insensitive ones
// compare the pattern at every position whose first letter matches.
std::size_t FindText(std::string_view text, std::string_view pattern, bool caseSensitive, std::size_t from = 0);

// The HTML document inside text, from "<html>" (or, when absent, "<HTML>") through "</html>" (or
// "</HTML>"), with every "3D", "=20", "=09" and soft line break "=\r\n" deleted. Without a closing
// tag the document runs to two characters before the end of the text. nullopt when text holds
// neither opening tag.
std::optional<std::string> ExtractHtmlBody(std::string_view text);

// The body a reader sees: the extracted HTML document, or the text unchanged.
std::string ParseBody(std::string_view text);

}  // namespace sieveclaw
