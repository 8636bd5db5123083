#include "content/Libxml.h"

#include <string>

#include "base/SharedLibrary.h"
#include "content/Selector.h"

namespace tallyhawk {

namespace {

// Empty when the table is filled; otherwise why not.
std::string Load(CLibxmlFunctions& f) {
#ifndef TALLYHAWK_LIBXML2_SONAME
    f = {&::htmlCreateMemoryParserCtxt,
         &::htmlCtxtUseOptions,
         &::htmlFreeParserCtxt,
         &::htmlParseDocument,
         &::htmlReadMemory,
         &::xmlFindCharEncodingHandler,
         &::xmlFreeDoc,
         &::xmlInitParser,
         &::xmlSAX2InitHtmlDefaultSAXHandler,
         &::xmlSAX2InternalSubset,
         &::xmlSetGenericErrorFunc,
         &::xmlSetStructuredErrorFunc,
         &::xmlStrdup,
         &::xmlSwitchToEncoding,
         &::xmlXPathCompiledEval,
         &::xmlXPathCtxtCompile,
         &::xmlXPathFreeCompExpr,
         &::xmlXPathFreeContext,
         &::xmlXPathFreeObject,
         &::xmlXPathNewContext,
         &::xmlXPathOrderDocElems,
         &::__xmlGenericError,
         &::__xmlGenericErrorContext,
         &::__xmlStructuredError,
         &::__xmlStructuredErrorContext,
         &::xmlFree};
    return {};
#else
    CSharedLibrary library;
    const bool found =
        library.Open(TALLYHAWK_LIBXML2_SONAME) &&
        library.Find("htmlCreateMemoryParserCtxt", f.htmlCreateMemoryParserCtxt) &&
        library.Find("htmlCtxtUseOptions", f.htmlCtxtUseOptions) &&
        library.Find("htmlFreeParserCtxt", f.htmlFreeParserCtxt) &&
        library.Find("htmlParseDocument", f.htmlParseDocument) &&
        library.Find("htmlReadMemory", f.htmlReadMemory) &&
        library.Find("xmlFindCharEncodingHandler", f.xmlFindCharEncodingHandler) &&
        library.Find("xmlFreeDoc", f.xmlFreeDoc) && library.Find("xmlInitParser", f.xmlInitParser) &&
        library.Find("xmlSAX2InitHtmlDefaultSAXHandler", f.xmlSAX2InitHtmlDefaultSAXHandler) &&
        library.Find("xmlSAX2InternalSubset", f.xmlSAX2InternalSubset) &&
        library.Find("xmlSetGenericErrorFunc", f.xmlSetGenericErrorFunc) &&
        library.Find("xmlSetStructuredErrorFunc", f.xmlSetStructuredErrorFunc) &&
        library.Find("xmlStrdup", f.xmlStrdup) &&
        library.Find("xmlSwitchToEncoding", f.xmlSwitchToEncoding) &&
        library.Find("xmlXPathCompiledEval", f.xmlXPathCompiledEval) &&
        library.Find("xmlXPathCtxtCompile", f.xmlXPathCtxtCompile) &&
        library.Find("xmlXPathFreeCompExpr", f.xmlXPathFreeCompExpr) &&
        library.Find("xmlXPathFreeContext", f.xmlXPathFreeContext) &&
        library.Find("xmlXPathFreeObject", f.xmlXPathFreeObject) &&
        library.Find("xmlXPathNewContext", f.xmlXPathNewContext) &&
        library.Find("xmlXPathOrderDocElems", f.xmlXPathOrderDocElems) &&
        library.Find("__xmlGenericError", f.genericError) &&
        library.Find("__xmlGenericErrorContext", f.genericErrorContext) &&
        library.Find("__xmlStructuredError", f.structuredError) &&
        library.Find("__xmlStructuredErrorContext", f.structuredErrorContext) &&
        library.Find("xmlFree", f.xmlFree);
    return found ? std::string() : library.Error();
#endif
}

}  // namespace

const CLibxmlFunctions& Libxml() {
    static CLibxmlFunctions functions{};
    static const std::string failure = Load(functions);
    if (!failure.empty())
        throw CFilterError("The page reader (libxml2) could not be loaded: " + failure);
    return functions;
}

}  // namespace tallyhawk
