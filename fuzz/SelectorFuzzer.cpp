// A CSS selector from any bytes. What translates must be XPath that libxml2
// compiles and that evaluates to a node-set on a small page; what does not
// must fail with CFilterError alone (anything else escapes and aborts).
#include <libxml/HTMLparser.h>
#include <libxml/xpath.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "content/Selector.h"

namespace {

constexpr const char* kPage =
    "<html><body><div id=a class='x y' title=\"it's\"><p>1</p><p lang=en-GB>2</p>"
    "<span data-n=5></span></div><ul><li>a</li><li>b</li><li>c</li></ul></body></html>";

void Quiet(void*, const char*, ...) {}

xmlDocPtr Page() {
    static xmlDocPtr page = [] {
        xmlSetGenericErrorFunc(nullptr, Quiet);
        return htmlReadMemory(kPage, int(std::strlen(kPage)), nullptr, "UTF-8",
                              HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING);
    }();
    return page;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const xmlDocPtr page = Page();
    std::string xpath;
    try {
        xpath = tallyhawk::CssToXPath(std::string_view(reinterpret_cast<const char*>(data), size));
    } catch (const tallyhawk::CFilterError&) {
        return 0;
    }
    if (xpath.find('\0') != std::string::npos) std::abort();
    xmlXPathCompExprPtr compiled = xmlXPathCompile(reinterpret_cast<const xmlChar*>(xpath.c_str()));
    if (!compiled) std::abort();
    xmlXPathContextPtr context = xmlXPathNewContext(page);
    xmlXPathObjectPtr result = xmlXPathCompiledEval(compiled, context);
    if (!result || result->type != XPATH_NODESET) std::abort();
    xmlXPathFreeObject(result);
    xmlXPathFreeContext(context);
    xmlXPathFreeCompExpr(compiled);
    return 0;
}
