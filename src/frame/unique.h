// One owner of one acquired thing, released on every path and never copied, in the
// manner of wil's unique_any: a traits type names the thing's type, its "none" value and
// its release. Each resource of the library is an alias of this template.
#pragma once

template <typename Traits>
class Unique {
public:
    using Type = typename Traits::Type;
    explicit Unique(Type value) : value_(value) {}
    ~Unique() { if (*this) Traits::Release(value_); }
    Unique(const Unique&) = delete;
    Unique& operator=(const Unique&) = delete;

    explicit operator bool() const { return value_ != Traits::None(); }
    Type get() const { return value_; }
    Type operator->() const { return value_; }  // for things held by pointer

private:
    Type value_;
};
