#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>

#include "sip/SipException.h"

namespace sipua {

// The manager's table of live usages, shared with every handle so that a handle outlives
// both its usage and the manager safely. Single-threaded, like the rest of the adapter.
class HandleTable {
public:
    uint64_t add(void* object) {
        uint64_t id = ++lastId_;
        objects_[id] = object;
        return id;
    }
    void remove(uint64_t id) { objects_.erase(id); }
    void* find(uint64_t id) const {
        auto it = objects_.find(id);
        return it == objects_.end() ? nullptr : it->second;
    }
    void clear() { objects_.clear(); }

private:
    uint64_t lastId_ = 0;
    std::unordered_map<uint64_t, void*> objects_;
};

// A weak reference to a usage of the manager (a client registration, later an invite
// session): the table and the usage's id. Dereferencing a handle whose usage is gone throws
// HandleException; isValid() asks first.
template <class T> class Handle {
public:
    Handle() = default;
    Handle(std::shared_ptr<HandleTable> table, uint64_t id) : table_(std::move(table)), id_(id) {}

    bool isValid() const { return table_ && table_->find(id_) != nullptr; }
    uint64_t getId() const { return id_; }

    T* get() const {
        void* object = table_ ? table_->find(id_) : nullptr;
        if (!object) {
            throw HandleException("handle invalido (id " + std::to_string(id_) + ")");
        }
        return static_cast<T*>(object);
    }
    T* operator->() const { return get(); }
    T& operator*() const { return *get(); }

    bool operator==(const Handle& other) const {
        return table_ == other.table_ && id_ == other.id_;
    }

private:
    std::shared_ptr<HandleTable> table_;
    uint64_t id_ = 0;
};

class ClientRegistration;
using ClientRegistrationHandle = Handle<ClientRegistration>;

} // namespace sipua
