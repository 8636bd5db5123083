// CSS selectors translated to XPath 1.0, for choosing the part of a page to
// watch or to ignore.
#pragma once

#include <string>
#include <string_view>

#include "base/Exception.h"

namespace tallyhawk {

// A selector or pattern the user typed that cannot be used. The message
// names the problem and where it is, for the place the text is typed in.
class CFilterError : public CGenericException {
public:
    using CGenericException::CGenericException;
};

// True when the text is an XPath expression rather than a CSS selector: it
// starts, after white space, with "/" or "(".
bool IsXPathExpression(std::string_view selector);

// The XPath 1.0 expression that selects, from the document's root, the
// elements the CSS selector matches. Understood: type selectors and "*",
// #id, .class, attribute tests ([a], [a=v], [a~=v], [a|=v], [a^=v],
// [a$=v], [a*=v], the value quoted with ' or " or a bare name), CSS escapes,
// the descendant, child (>), adjacent (+) and general sibling (~)
// combinators, :first-child, :last-child, :nth-child(an+b | odd | even),
// :not() of compound selectors separated by "," (nested at most 32 deep),
// and groups with ",". Type and attribute names match in any letter case,
// as in HTML (libxml2 lower-cases them); ids, classes and attribute values
// match exactly. Throws CFilterError, whose message says what is wrong and
// at which character (from 1), for anything else, and for text that is not
// UTF-8. Linear in the selector's length, as is the XPath's length.
std::string CssToXPath(std::string_view selector);

// The XPath for a region or ignore setting as typed: an XPath expression
// unchanged (checked by the caller when it compiles it), a CSS selector
// translated.
std::string SelectorToXPath(std::string_view selector);

}  // namespace tallyhawk
