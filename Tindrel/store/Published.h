#pragma once

// A published field of an observable object: read freely, and every assignment or in-place
// change (also one that leaves the value equal) tells the owner, which announces the change to
// its observers. Used from the owner's thread only; no locking.

#include <utility>

namespace tindrel {

class PublishedOwner {
public:
    // Called after each assignment or in-place change of one of the owner's published fields.
    virtual void publishChange() = 0;

protected:
    ~PublishedOwner() = default;
};

template <typename T> class Published {
public:
    Published(PublishedOwner& owner, T initial) : owner_(owner), value_(std::move(initial)) {}
    Published(const Published&) = delete;
    Published& operator=(const Published&) = delete;

    const T& get() const { return value_; }
    operator const T&() const { return value_; }
    const T& operator*() const { return value_; }
    const T* operator->() const { return &value_; }

    Published& operator=(T value) {
        value_ = std::move(value);
        owner_.publishChange();
        return *this;
    }

    // Changes the value in place (append, insert, toggle), then announces it.
    template <typename Change> void mutate(Change&& change) {
        std::forward<Change>(change)(value_);
        owner_.publishChange();
    }

private:
    PublishedOwner& owner_;
    T value_;
};

} // namespace tindrel
