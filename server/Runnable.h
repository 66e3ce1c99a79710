#pragma once

// A unit of work run by a pool thread: a long-running loop or one short task. Never deleted through
// this interface.
class IRunnable {
public:
    virtual void Run() = 0;

protected:
    ~IRunnable() = default;
};
