#pragma once

#include <stdexcept>

// A measurement that cannot go on: the window did not do what was asked, or a tool failed.
class BenchFailure : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};
