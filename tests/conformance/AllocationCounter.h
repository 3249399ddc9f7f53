#pragma once

// Counts heap allocations made on one thread while a scope is open. The test
// program replaces malloc and its relatives (and operator new and delete on
// top of them), or installs the sanitizer's allocation hooks in sanitizer
// builds, so allocations made by the plug-in's own statically linked C++
// runtime are seen too: every one of them ends in malloc.

#include <cstdint>

namespace tarvo::conformance {

/// Counts allocations and releases on the constructing thread until it is
/// destroyed. Scopes do not nest.
class AllocationScope {
public:
    AllocationScope() noexcept;
    ~AllocationScope();
    AllocationScope(const AllocationScope&) = delete;
    AllocationScope& operator=(const AllocationScope&) = delete;

    std::uint64_t allocations() const noexcept;
    std::uint64_t releases() const noexcept;
};

/// Which counting is in use: "malloc replacement" or "sanitizer hooks".
const char* allocationCountingMethod() noexcept;

}  // namespace tarvo::conformance
