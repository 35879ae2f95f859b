#pragma once

#include <string>
#include <string_view>

namespace sieveclaw {

// Appends what a reader of the HTML document sees, then the target of every link: the text
// without tags, comments, scripts and style sheets; character references resolved; each run of
// white space made one blank, and a line break where a block (paragraph, line break, list item,
// table row, heading) ends; the invisible characters senders put inside words to hide them
// (soft hyphens, zero-width spaces and joiners) left out. Inline tags split nothing, so a word
// written across two tags ("fr<b>ee</b>") reads as one. After the text, each link target (every
// href) on a line of its own.
//
// Takes and gives UTF-8. Markup that does not end (a tag, comment or script still open at the end
// of the document) hides the rest, as in a browser. Never writes more than html holds, twice.
void AppendHtmlText(std::string_view html, std::string& out);

}  // namespace sieveclaw
