#pragma once

#include <QString>
#include <QStringView>

namespace tovra::htmltext {

// Helpers for the plain-text views of the HTML fragments users write (notices, introductions).
// Each is one forward scan, linear in the text whatever it holds: these run on the UI thread over
// text anyone can write. They work on UTF-16 units, so a lone surrogate is text like any other.

// Drops every "<", at least one character other than ">", then ">": the first ">" closes a tag.
// A "<" with no ">" after it, and "<>", stay as text.
QString stripTags(QStringView text);

// Every "<img", then anything up to an alt="...", then anything up to the ">" that ends it,
// becomes "[" + the alt text + "]". The alt text may hold ">"; the last alt=" before the tag's
// first ">" is the one read. An image tag without an alt stays as it is.
QString imagesToAltText(QStringView text);

// Every "<br", any white space, an optional "/", and ">" (lower case only) becomes a line break.
QString lineBreakTagsToNewlines(QStringView text);

}
