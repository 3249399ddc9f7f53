#include "conformance/AllocationCounter.h"

#include <cstddef>
#include <cstdlib>
#include <new>

#if defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer) || \
    __has_feature(memory_sanitizer)
#define TARVO_SANITIZER_ALLOCATOR 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define TARVO_SANITIZER_ALLOCATOR 1
#endif

#if defined(TARVO_SANITIZER_ALLOCATOR)
// From the sanitizer runtimes' public interface (GCC ships no header for it).
extern "C" int __sanitizer_install_malloc_and_free_hooks(
    void (*mallocHook)(const volatile void*, std::size_t), void (*freeHook)(const volatile void*));
#endif

namespace {

// Plain thread-local integers of the executable: reading them allocates
// nothing, so the allocator may touch them.
thread_local bool counting = false;
thread_local std::uint64_t allocationCount = 0;
thread_local std::uint64_t releaseCount = 0;

inline void noteAllocation() noexcept {
    if (counting) ++allocationCount;
}

inline void noteRelease(const volatile void* p) noexcept {
    if (counting && p) ++releaseCount;
}

}  // namespace

#if defined(TARVO_SANITIZER_ALLOCATOR)

// The sanitizer owns malloc and operator new; it calls these hooks for every
// allocation and release of every module.
namespace {
void mallocHook(const volatile void*, std::size_t) { noteAllocation(); }
void freeHook(const volatile void* p) { noteRelease(p); }
const int hooksInstalled = __sanitizer_install_malloc_and_free_hooks(mallocHook, freeHook);
}  // namespace

const char* tarvo::conformance::allocationCountingMethod() noexcept {
    return hooksInstalled ? "sanitizer hooks" : "sanitizer hooks (not installed)";
}

#else

// glibc's own allocator under its internal names: the replacements below
// count and forward to it. The executable exports them, so the dynamic
// linker binds every module's malloc, the plug-in's included, to these.
extern "C" {
void* __libc_malloc(std::size_t size);
void* __libc_calloc(std::size_t count, std::size_t size);
void* __libc_realloc(void* p, std::size_t size);
void* __libc_memalign(std::size_t alignment, std::size_t size);
void* __libc_valloc(std::size_t size);
void* __libc_pvalloc(std::size_t size);
void __libc_free(void* p);

void* malloc(std::size_t size) {
    noteAllocation();
    return __libc_malloc(size);
}

void* calloc(std::size_t count, std::size_t size) {
    noteAllocation();
    return __libc_calloc(count, size);
}

void* realloc(void* p, std::size_t size) {
    noteAllocation();
    return __libc_realloc(p, size);
}

void free(void* p) {
    noteRelease(p);
    __libc_free(p);
}

void* memalign(std::size_t alignment, std::size_t size) {
    noteAllocation();
    return __libc_memalign(alignment, size);
}

void* aligned_alloc(std::size_t alignment, std::size_t size) {
    noteAllocation();
    return __libc_memalign(alignment, size);
}

int posix_memalign(void** out, std::size_t alignment, std::size_t size) {
    if (alignment < sizeof(void*) || (alignment & (alignment - 1)) != 0) return 22;  // EINVAL
    noteAllocation();
    void* p = __libc_memalign(alignment, size);
    if (!p) return 12;  // ENOMEM
    *out = p;
    return 0;
}

void* valloc(std::size_t size) {
    noteAllocation();
    return __libc_valloc(size);
}

void* pvalloc(std::size_t size) {
    noteAllocation();
    return __libc_pvalloc(size);
}
}  // extern "C"

// operator new and delete of this program, on top of the counting malloc.
namespace {
void* allocateOrThrow(std::size_t size) {
    void* p = std::malloc(size ? size : 1);
    if (!p) throw std::bad_alloc();
    return p;
}

void* allocateAlignedOrThrow(std::size_t size, std::align_val_t alignment) {
    void* p = nullptr;
    const std::size_t a = static_cast<std::size_t>(alignment);
    if (posix_memalign(&p, a < sizeof(void*) ? sizeof(void*) : a, size ? size : 1) != 0)
        throw std::bad_alloc();
    return p;
}
}  // namespace

void* operator new(std::size_t size) { return allocateOrThrow(size); }
void* operator new[](std::size_t size) { return allocateOrThrow(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return std::malloc(size ? size : 1); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return std::malloc(size ? size : 1); }
void* operator new(std::size_t size, std::align_val_t a) { return allocateAlignedOrThrow(size, a); }
void* operator new[](std::size_t size, std::align_val_t a) { return allocateAlignedOrThrow(size, a); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void* p, std::align_val_t) noexcept { std::free(p); }
void operator delete(void* p, std::size_t, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept { std::free(p); }

const char* tarvo::conformance::allocationCountingMethod() noexcept { return "malloc replacement"; }

#endif

namespace tarvo::conformance {

AllocationScope::AllocationScope() noexcept {
    allocationCount = 0;
    releaseCount = 0;
    counting = true;
}

AllocationScope::~AllocationScope() { counting = false; }

std::uint64_t AllocationScope::allocations() const noexcept { return allocationCount; }
std::uint64_t AllocationScope::releases() const noexcept { return releaseCount; }

}  // namespace tarvo::conformance
