// libxml2's functions, reached through one table: the library (and the
// Unicode library it brings) is opened at the first call of Libxml(), when
// a page is first read, not linked, so that the runs of tallyhawk-cli that
// read no page do not load and relocate it at start; see
// base/SharedLibrary.h. Built without TALLYHAWK_LOAD_LIBRARIES_LAZILY, the
// table holds the linked functions.
//
// Libxml() is thread-safe; its table never changes once filled.
#pragma once

#include <libxml/HTMLparser.h>
#include <libxml/SAX2.h>
#include <libxml/parser.h>
#include <libxml/parserInternals.h>
#include <libxml/xmlerror.h>
#include <libxml/xpath.h>

namespace tallyhawk {

struct CLibxmlFunctions {
    decltype(&::htmlCreateMemoryParserCtxt) htmlCreateMemoryParserCtxt;
    decltype(&::htmlCtxtUseOptions) htmlCtxtUseOptions;
    decltype(&::htmlFreeParserCtxt) htmlFreeParserCtxt;
    decltype(&::htmlParseDocument) htmlParseDocument;
    decltype(&::htmlReadMemory) htmlReadMemory;
    decltype(&::xmlFindCharEncodingHandler) xmlFindCharEncodingHandler;
    decltype(&::xmlFreeDoc) xmlFreeDoc;
    decltype(&::xmlInitParser) xmlInitParser;
    decltype(&::xmlSAX2InitHtmlDefaultSAXHandler) xmlSAX2InitHtmlDefaultSAXHandler;
    decltype(&::xmlSAX2InternalSubset) xmlSAX2InternalSubset;
    decltype(&::xmlSetGenericErrorFunc) xmlSetGenericErrorFunc;
    decltype(&::xmlSetStructuredErrorFunc) xmlSetStructuredErrorFunc;
    decltype(&::xmlStrdup) xmlStrdup;
    decltype(&::xmlSwitchToEncoding) xmlSwitchToEncoding;
    decltype(&::xmlXPathCompiledEval) xmlXPathCompiledEval;
    decltype(&::xmlXPathCtxtCompile) xmlXPathCtxtCompile;
    decltype(&::xmlXPathFreeCompExpr) xmlXPathFreeCompExpr;
    decltype(&::xmlXPathFreeContext) xmlXPathFreeContext;
    decltype(&::xmlXPathFreeObject) xmlXPathFreeObject;
    decltype(&::xmlXPathNewContext) xmlXPathNewContext;
    decltype(&::xmlXPathOrderDocElems) xmlXPathOrderDocElems;
    // The calling thread's error handlers, which the library's headers name
    // through these functions.
    decltype(&::__xmlGenericError) genericError;
    decltype(&::__xmlGenericErrorContext) genericErrorContext;
    decltype(&::__xmlStructuredError) structuredError;
    decltype(&::__xmlStructuredErrorContext) structuredErrorContext;
    // The library's deallocator, a variable of its own.
    xmlFreeFunc* xmlFree;
};

// The functions, loading libxml2 on the first call. Throws CFilterError
// ("The page reader ... could not be loaded") when the library or one of
// its functions cannot be found; the first call's answer stands.
const CLibxmlFunctions& Libxml();

}  // namespace tallyhawk
