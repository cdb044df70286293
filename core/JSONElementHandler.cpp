#include "core/JSONElementHandler.h"

namespace
{
const std::string kNoKey;
}

bool JSONElementHandler::StartMap()
{
    m_keyStack.push_front(m_currentKey);
    return true;
}

bool JSONElementHandler::EndMap()
{
    PopKey();
    return true;
}

bool JSONElementHandler::StartArray()
{
    m_keyStack.push_front(m_currentKey);
    return true;
}

bool JSONElementHandler::EndArray()
{
    PopKey();
    return true;
}

bool JSONElementHandler::MapKey(const char* text, unsigned int length)
{
    m_currentKey.assign(text ? text : "", text ? length : 0);
    return true;
}

bool JSONElementHandler::Value(const char*, unsigned int)
{
    return true;
}

const std::string& JSONElementHandler::GetEnclosingKey() const
{
    return m_keyStack.empty() ? kNoKey : m_keyStack.front();
}

void JSONElementHandler::ClearKeys()
{
    m_keyStack.clear();
    m_currentKey.clear();
}

void JSONElementHandler::PopKey()
{
    // Inside an array the current key is again the key the array stands under.
    if (m_keyStack.empty())
        return;
    m_keyStack.pop_front();
    m_currentKey = m_keyStack.empty() ? std::string() : m_keyStack.front();
}
