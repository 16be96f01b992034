#pragma once

namespace kestcore {

// Root of the host's observer interfaces.
class IBaseObserver
{
public:
    virtual ~IBaseObserver() = default;
};

} // namespace kestcore
