#pragma once
// SANE backends read from the device on a thread of their own that they stop
// with pthread_cancel, and the library's thread helper makes that thread
// cancellable at any instruction. Cancelled inside malloc or free, such a
// thread dies holding the allocator's lock and then waits for it on its way
// out, while sane_cancel waits for it forever. This program therefore turns a
// request for asynchronous cancellation into deferred cancellation: the
// reader stops at its next read, write or sleep, where it holds no lock.

// Called where the SANE backend starts, so that the definition that does
// this is linked into every program that scans.
void keepSaneReaderCancellationDeferred();
