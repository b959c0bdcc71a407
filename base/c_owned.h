#ifndef TERVANE_BASE_C_OWNED_H_
#define TERVANE_BASE_C_OWNED_H_

#include <memory>

namespace tervane {

// Frees a C library's object with that library's own function.
template <auto Free>
struct FreeWith {
  template <typename T>
  void operator()(T* object) const {
    Free(object);
  }
};

// Owns a T that Free frees: COwned<X509, X509_free>.
template <typename T, auto Free>
using COwned = std::unique_ptr<T, FreeWith<Free>>;

}  // namespace tervane

#endif  // TERVANE_BASE_C_OWNED_H_
