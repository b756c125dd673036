// Module-level names read at the moment of use, through a memo that the
// module dict's version validates: numbers, the interpreter's own functions,
// and functions of imported modules (`math.isnan`).
#pragma once

#include <atomic>
#include <bit>
#include <cstdint>

#include "names.h"
#include "num.h"

namespace vy {

// A module-level name used as a value: looked up at the moment of use
// (module dict, then builtins, else NameError).
//
// While the module dict is unchanged, a plain number or the interpreter's
// own function that the name holds is read from a memo kept with the name,
// so the common case needs no dict look-up and touches no shared reference
// count.  The memo is a sequence lock: after the first reads it is only
// read, and a reader that meets a writer looks the name up.  A number read
// from the memo is that number, not the very object the dict holds.
class Global : public Name, public Lazy {
public:
    using Name::Name;
    Global(const Global&) = delete;

    // What the memo holds: a number's kind, or the Genuine the name holds.
    static constexpr std::uintptr_t kFloat = 1, kInt = 2;  // a Genuine* is never 1 or 2

    // The memo, if it was taken at the module dict's current version.
    bool memo(std::uintptr_t& what, std::uint64_t& bits) const noexcept {
        const std::uint32_t s1 = seq_.load(std::memory_order_acquire);
        if (s1 & 1) return false;
        const std::uint64_t version = version_.load(std::memory_order_relaxed);
        bits = bits_.load(std::memory_order_relaxed);
        what = what_.load(std::memory_order_relaxed);
        std::atomic_thread_fence(std::memory_order_acquire);
        return seq_.load(std::memory_order_relaxed) == s1 && version &&
               version == module_state().ns_version->load(std::memory_order_acquire);
    }
    // Whether the memo, current, says the name holds `genuine`.
    bool holds(const Genuine& genuine) const noexcept {
        std::uintptr_t what;
        std::uint64_t bits;
        return memo(what, bits) && what == reinterpret_cast<std::uintptr_t>(&genuine);
    }
    // Takes the memo unless another thread is taking it.
    void remember(std::uint64_t version, std::uintptr_t what, std::uint64_t bits) const noexcept;

private:
    mutable std::atomic<std::uint32_t> seq_{0};
    mutable std::atomic<std::uint64_t> version_{0};
    mutable std::atomic<std::uint64_t> bits_{0};
    mutable std::atomic<std::uintptr_t> what_{0};
};

// The name's value from the module dict, with the dict's version it holds
// at (0 when the dict changed meanwhile); NULL when the dict lacks it.
Ref module_value(const Name& name, std::uint64_t& version);
Num global_value_looked_up(const Global& name);
Ref global_function_looked_up(const Global& name, const Genuine& genuine);

inline Num global_value(const Global& name) {
    std::uintptr_t what;
    std::uint64_t bits;
    if (name.memo(what, bits)) {
        if (what == Global::kFloat) return Num(std::bit_cast<double>(bits));
        if (what == Global::kInt) return Num::integer(std::bit_cast<std::int64_t>(bits));
    }
    return global_value_looked_up(name);
}

// A module-level name that should hold `genuine`: empty while it does (the
// caller may compute in C), else the object it holds.
inline Ref global_function(const Global& name, const Genuine& genuine) {
    if (name.holds(genuine)) return {};
    return global_function_looked_up(name, genuine);
}

// `module.name` where `module` is a module-level name: a function of an
// imported module, such as `math.isnan`, looked up at the moment of use.
// While neither the module dict nor the imported module's dict has changed
// and the attribute is the interpreter's own function, the look-up is a memo
// read that touches no shared reference count.
class ModuleFunction {
public:
    ModuleFunction(const char* module, const char* name) : module_(module), name_(name), genuine_(module, name) {}
    // Empty while the attribute is the interpreter's own function (the
    // caller may compute in C), else the object it is.
    Ref get() const {
        if (module_.holds(genuine_)) return {};
        return looked_up();
    }

private:
    Ref looked_up() const;
    Global module_;  // its memo is this attribute's
    Name name_;
    Genuine genuine_;
};

}  // namespace vy
