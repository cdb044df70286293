#include "core/XMLElementHandlerStack.h"

void XMLElementHandlerStack::StartElement(const char* name, const char**)
{
    m_openElements.emplace_front(name ? name : "");
}

void XMLElementHandlerStack::EndElement(const char*)
{
    if (!m_openElements.empty())
        m_openElements.pop_front();
}

const char* XMLElementHandlerStack::ElementAt(int depth) const
{
    if (depth < 0 || static_cast<std::size_t>(depth) >= m_openElements.size())
        return nullptr;
    return m_openElements[static_cast<std::size_t>(depth)].c_str();
}
