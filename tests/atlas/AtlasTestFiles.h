#pragma once

#include <functional>
#include <string>

#include <gtest/gtest.h>

#include "TestSupport.h"

// The message of the exception of type E that call throws, or a failure when it throws none.
template <typename E>
std::string MessageOf(const std::function<void()>& call)
{
    try
    {
        call();
    }
    catch (const E& error)
    {
        return error.what();
    }
    ADD_FAILURE() << "no exception";
    return std::string();
}
