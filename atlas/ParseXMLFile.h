#pragma once

class XMLParser;

// Feeds a file to the parser in 4096-byte chunks, the chunk shorter than that (possibly empty) being the
// final one. Throws std::runtime_error with openFailed when the file cannot be opened, and with parseFailed
// when the document is not well-formed or the file cannot be read to its end. Exceptions of the parser's
// handler pass through; the file is closed on every path out.
void ParseXMLFile(XMLParser& parser, const char* path, const char* openFailed, const char* parseFailed);
