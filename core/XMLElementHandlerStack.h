#pragma once

#include "core/XMLElementHandler.h"

#include <deque>
#include <string>

// Handler base that remembers the names of the open elements, so that readers can
// ask where they stand. Readers call StartElement and EndElement from their own.
class XMLElementHandlerStack : public XMLElementHandler
{
public:
    ~XMLElementHandlerStack() override = default;

    void StartElement(const char* name, const char** attributes) override;
    void EndElement(const char* name) override;

    // The open element depth levels out from the innermost (0: opened last,
    // 1: its parent), or null when there is no such element (also for a negative depth).
    // The text stays valid while that element is open.
    virtual const char* ElementAt(int depth) const;

private:
    // Innermost first; a deque keeps the names in place while others come and go.
    std::deque<std::string> m_openElements;
};
