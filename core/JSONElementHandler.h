#pragma once

#include <deque>
#include <string>

// Receiver of the events of a JSONParser. The base keeps the key stack: the front
// names the key under which the innermost open map or array stands, and the
// current key names the key of the value that arrives next. Readers call the base
// StartMap, EndMap, StartArray, EndArray and MapKey from their overrides.
// Every callback returns true to go on and false to stop the parse; a handler may
// also throw, which stops the parse and reaches the caller of JSONParser::Parse.
class JSONElementHandler
{
public:
    virtual ~JSONElementHandler() = default;

    virtual bool StartMap();
    virtual bool EndMap();
    virtual bool StartArray();
    virtual bool EndArray();
    virtual bool MapKey(const char* text, unsigned int length);
    // Every scalar arrives as text: numbers as written, "true" or "false", and
    // null as an empty text. The text is not terminated.
    virtual bool Value(const char* text, unsigned int length);

    const std::string& GetCurrentKey() const { return m_currentKey; }
    // Innermost first.
    const std::deque<std::string>& GetKeyStack() const { return m_keyStack; }
    // The front of the key stack, or an empty text when no container is open.
    const std::string& GetEnclosingKey() const;
    // Forgets the key stack and the current key, before a handler reads a new document.
    void ClearKeys();

private:
    void PopKey();

    std::deque<std::string> m_keyStack;
    std::string m_currentKey;
};
