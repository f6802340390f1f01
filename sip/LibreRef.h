#pragma once
// An owning handle for libre's reference-counted objects: releases its one reference with
// mem_deref when it goes out of scope or is reset. Free of libre's headers, so the adapter's
// own headers can hold one.
#include <memory>
#include <type_traits>

namespace sipua {

struct MemDeref {
    void operator()(const void* object) const;
};

template <class T> using LibreRef = std::unique_ptr<T, MemDeref>;

// mem_ref: one more reference to an object libre allocated.
void* MemRef(const void* object);

// A new reference to an object someone else holds (libre hands callbacks borrowed objects).
template <class T> LibreRef<T> AddRef(T* object) {
    return LibreRef<T>(static_cast<T*>(MemRef(object)));
}

} // namespace sipua
