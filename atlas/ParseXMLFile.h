#pragma once

class XMLParser;

enum class XMLFileResult
{
    Parsed,
    OpenFailed,
    ParseFailed
};

// Feeds a file to the parser in 4096-byte chunks, the chunk shorter than that (possibly empty)
// being the final one. ParseFailed covers a document that is not well-formed and a file that
// cannot be read to its end. Exceptions of the parser's handler pass through; the file is closed
// on every path out.
XMLFileResult ParseXMLFile(XMLParser& parser, const char* path);
