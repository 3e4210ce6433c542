#pragma once
// A unique_ptr deleter that frees a C library's handle with its own function.

#include <memory>
#include <type_traits>

template <auto Free>
struct FreeWith {
  template <typename T>
  void operator()(T* handle) const {
    if (handle) Free(handle);
  }
};

template <typename Object, auto Free>
using HandleOwner = std::unique_ptr<Object, FreeWith<Free>>;
