#pragma once
// A child that asks to die with its parent (PR_SET_PDEATHSIG) dies with the
// thread that started it, not the process: one started from a pool thread
// would be killed when that thread retires. Children are started from one
// thread that lasts as long as the program.

#include <functional>

// Runs `work` on that thread and returns what it returns.
int onLastingThread(const std::function<int()>& work);
