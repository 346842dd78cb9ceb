#pragma once

// The window as the send run sees it: implemented by the window, carried out on its thread.
class SendRunHost
{
public:
    virtual ~SendRunHost() = default;
};
