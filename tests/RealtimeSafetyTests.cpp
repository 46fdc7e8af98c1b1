// Proves that the audio callback neither allocates nor takes a lock.
//
// This executable replaces the global allocation functions (every form of
// operator new and delete, malloc, calloc, realloc, free and the aligned
// allocators) and pthread_mutex_lock / pthread_mutex_trylock with versions
// that forward to the C library and count calls made on the current thread
// while a probe is open. The probe is opened around processBlock only;
// everything a host does between blocks (parameter changes, play head
// updates) runs outside it. The sanitizers own the allocator, so this
// executable is not built with them.

#include <gtest/gtest.h>

#include "Marnovex_ParameterIDs.h"
#include "PluginProcessor.h"

#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <dlfcn.h>
#include <mutex>
#include <new>
#include <pthread.h>
#include <vector>

extern "C"
{
void* __libc_malloc (size_t);
void* __libc_calloc (size_t, size_t);
void* __libc_realloc (void*, size_t);
void __libc_free (void*);
void* __libc_memalign (size_t, size_t);
}

namespace probe
{
thread_local bool open = false;
thread_local long allocations = 0;
thread_local long deallocations = 0;
thread_local long locks = 0;

inline void countAllocation() noexcept
{
    if (open)
        ++allocations;
}

inline void countDeallocation (void* p) noexcept
{
    if (open && p != nullptr)
        ++deallocations;
}

struct Counts
{
    long allocations, deallocations, locks;
};

// Counts what `fn` does on this thread, and nothing else.
template <typename Fn>
Counts watch (Fn&& fn)
{
    allocations = deallocations = locks = 0;
    open = true;
    fn();
    open = false;
    return { allocations, deallocations, locks };
}

using LockFn = int (*) (pthread_mutex_t*);
std::atomic<LockFn> realLock { nullptr };
std::atomic<LockFn> realTryLock { nullptr };

LockFn resolve (std::atomic<LockFn>& slot, const char* name) noexcept
{
    auto fn = slot.load (std::memory_order_acquire);
    if (fn == nullptr)
    {
        fn = reinterpret_cast<LockFn> (dlsym (RTLD_NEXT, name));
        slot.store (fn, std::memory_order_release);
    }
    return fn;
}

void* allocate (size_t size)
{
    countAllocation();
    if (void* p = __libc_malloc (size == 0 ? 1 : size))
        return p;
    throw std::bad_alloc();
}

void* allocateAligned (size_t size, std::align_val_t alignment)
{
    countAllocation();
    if (void* p = __libc_memalign ((size_t) alignment, size == 0 ? 1 : size))
        return p;
    throw std::bad_alloc();
}

void* allocateNoThrow (size_t size) noexcept
{
    countAllocation();
    return __libc_malloc (size == 0 ? 1 : size);
}

void* allocateAlignedNoThrow (size_t size, std::align_val_t alignment) noexcept
{
    countAllocation();
    return __libc_memalign ((size_t) alignment, size == 0 ? 1 : size);
}

void release (void* p) noexcept
{
    countDeallocation (p);
    __libc_free (p);
}
} // namespace probe

//==============================================================================
extern "C"
{
void* malloc (size_t size)
{
    probe::countAllocation();
    return __libc_malloc (size);
}

void* calloc (size_t count, size_t size)
{
    probe::countAllocation();
    return __libc_calloc (count, size);
}

void* realloc (void* p, size_t size)
{
    probe::countAllocation();
    return __libc_realloc (p, size);
}

void free (void* p)
{
    probe::countDeallocation (p);
    __libc_free (p);
}

void* memalign (size_t alignment, size_t size)
{
    probe::countAllocation();
    return __libc_memalign (alignment, size);
}

void* aligned_alloc (size_t alignment, size_t size)
{
    probe::countAllocation();
    return __libc_memalign (alignment, size);
}

int posix_memalign (void** out, size_t alignment, size_t size)
{
    probe::countAllocation();
    if (alignment < sizeof (void*) || (alignment & (alignment - 1)) != 0)
        return EINVAL;
    void* p = __libc_memalign (alignment, size);
    if (p == nullptr)
        return ENOMEM;
    *out = p;
    return 0;
}

int pthread_mutex_lock (pthread_mutex_t* mutex)
{
    if (probe::open)
        ++probe::locks;
    return probe::resolve (probe::realLock, "pthread_mutex_lock") (mutex);
}

int pthread_mutex_trylock (pthread_mutex_t* mutex)
{
    if (probe::open)
        ++probe::locks;
    return probe::resolve (probe::realTryLock, "pthread_mutex_trylock") (mutex);
}
}

void* operator new (size_t size) { return probe::allocate (size); }
void* operator new[] (size_t size) { return probe::allocate (size); }
void* operator new (size_t size, const std::nothrow_t&) noexcept { return probe::allocateNoThrow (size); }
void* operator new[] (size_t size, const std::nothrow_t&) noexcept { return probe::allocateNoThrow (size); }
void* operator new (size_t size, std::align_val_t a) { return probe::allocateAligned (size, a); }
void* operator new[] (size_t size, std::align_val_t a) { return probe::allocateAligned (size, a); }
void* operator new (size_t size, std::align_val_t a, const std::nothrow_t&) noexcept { return probe::allocateAlignedNoThrow (size, a); }
void* operator new[] (size_t size, std::align_val_t a, const std::nothrow_t&) noexcept { return probe::allocateAlignedNoThrow (size, a); }

void operator delete (void* p) noexcept { probe::release (p); }
void operator delete[] (void* p) noexcept { probe::release (p); }
void operator delete (void* p, size_t) noexcept { probe::release (p); }
void operator delete[] (void* p, size_t) noexcept { probe::release (p); }
void operator delete (void* p, const std::nothrow_t&) noexcept { probe::release (p); }
void operator delete[] (void* p, const std::nothrow_t&) noexcept { probe::release (p); }
void operator delete (void* p, std::align_val_t) noexcept { probe::release (p); }
void operator delete[] (void* p, std::align_val_t) noexcept { probe::release (p); }
void operator delete (void* p, size_t, std::align_val_t) noexcept { probe::release (p); }
void operator delete[] (void* p, size_t, std::align_val_t) noexcept { probe::release (p); }
void operator delete (void* p, std::align_val_t, const std::nothrow_t&) noexcept { probe::release (p); }
void operator delete[] (void* p, std::align_val_t, const std::nothrow_t&) noexcept { probe::release (p); }

//==============================================================================
namespace
{
using namespace marnovex;

void* volatile sink = nullptr;

class TestPlayHead final : public juce::AudioPlayHead
{
public:
    juce::Optional<PositionInfo> getPosition() const override { return position; }
    juce::Optional<PositionInfo> position;
};

enum class Layout
{
    stereo,
    monoToStereo,
    mono
};

void setPlain (MarnovexTemplateAudioProcessor& p, const juce::String& id, float value)
{
    auto* parameter = p.parameters.getParameter (id);
    parameter->setValueNotifyingHost (parameter->convertTo0to1 (value));
}

// A host session: parameters, tempo and transport change between blocks the way a host changes them.
probe::Counts runSession (Layout layout, int numBlocks)
{
    constexpr double rate = 44100.0;
    constexpr int maxBlock = 480;

    MarnovexTemplateAudioProcessor processor;
    if (layout != Layout::stereo)
    {
        juce::AudioProcessor::BusesLayout buses;
        buses.inputBuses.add (juce::AudioChannelSet::mono());
        buses.outputBuses.add (layout == Layout::mono ? juce::AudioChannelSet::mono() : juce::AudioChannelSet::stereo());
        EXPECT_TRUE (processor.setBusesLayout (buses));
    }
    processor.setRateAndBufferSizeDetails (rate, maxBlock);
    processor.prepareToPlay (rate, maxBlock);

    TestPlayHead playHead;
    const int channels = juce::jmax (processor.getTotalNumInputChannels(), processor.getTotalNumOutputChannels());
    juce::AudioBuffer<float> buffer (channels, maxBlock);
    juce::MidiBuffer midi;
    juce::Random random (42);
    probe::Counts total { 0, 0, 0 };

    double bpm = 120.0;
    int64_t time = 0;
    bool playing = true;

    for (int b = 0; b < numBlocks; ++b)
    {
        // Between blocks, on this (the message) thread: everything a host may change.
        setPlain (processor, kParameter_TimeN, (float) (1 + b % 16));
        setPlain (processor, kParameter_TimeD, (float) (1 + (b * 7) % 32));
        setPlain (processor, kParameter_Curve, (float) (b % 12));
        setPlain (processor, kParameter_Intensity, random.nextFloat() * 100.0f);
        setPlain (processor, kParameter_Overlap, random.nextFloat() * 50.0f);
        setPlain (processor, kParameter_Feedback, random.nextFloat() * 100.0f);
        setPlain (processor, kParameter_Send, random.nextFloat() * 100.0f);
        setPlain (processor, kParameter_Return, random.nextFloat() * 100.0f);
        setPlain (processor, kParameter_Mix, random.nextFloat() * 100.0f);

        if (b % 23 == 0)
            bpm = 60.0 + random.nextDouble() * 120.0;
        if (b % 37 == 0)
            time += random.nextInt (200000);
        if (b % 61 == 0)
            playing = ! playing;
        const int n = b % 11 == 0 ? 1 + random.nextInt (maxBlock) : maxBlock;

        if (b % 97 == 50)
            processor.setPlayHead (nullptr);
        else
            processor.setPlayHead (&playHead);

        juce::AudioPlayHead::PositionInfo position;
        const double ppq = (double) time * bpm / (60.0 * rate);
        position.setBpm (b % 131 == 7 ? 0.0 : bpm);
        position.setTimeInSamples (time);
        position.setPpqPosition (ppq);
        position.setPpqPositionOfLastBarStart (4.0 * std::floor (ppq / 4.0));
        position.setIsPlaying (playing);
        playHead.position = position;
        if (b % 89 == 3)
            playHead.position = juce::nullopt;

        if (b % 150 == 149)
            processor.reset();

        buffer.setSize (channels, n, false, false, true);
        for (int ch = 0; ch < channels; ++ch)
            for (int i = 0; i < n; ++i)
                buffer.setSample (ch, i, random.nextFloat() * 2.0f - 1.0f);

        const auto counts = probe::watch ([&] { processor.processBlock (buffer, midi); });
        if (counts.allocations + counts.deallocations + counts.locks != 0)
            ADD_FAILURE() << "block " << b << ": " << counts.allocations << " allocations, " << counts.deallocations
                          << " deallocations, " << counts.locks << " locks";
        total.allocations += counts.allocations;
        total.deallocations += counts.deallocations;
        total.locks += counts.locks;

        if (playing)
            time += n;
    }
    return total;
}
} // namespace

//==============================================================================
TEST (RealtimeProbe, SeesEveryKindOfAllocationAndLockOnlyWhileOpen)
{
    struct Case
    {
        const char* what;
        void (*fn)();
        long allocations, deallocations, locks;
    };
    const Case cases[] = {
        { "operator new", [] { sink = ::operator new (24); ::operator delete (sink); }, 1, 1, 0 },
        { "new[] nothrow", [] { sink = new (std::nothrow) float[8]; delete[] static_cast<float*> (sink); }, 1, 1, 0 },
        { "aligned new", [] { sink = ::operator new (64, std::align_val_t (64)); ::operator delete (sink, std::align_val_t (64)); }, 1, 1, 0 },
        { "malloc", [] { sink = std::malloc (16); std::free (sink); }, 1, 1, 0 },
        { "calloc", [] { sink = std::calloc (4, 4); std::free (sink); }, 1, 1, 0 },
        { "realloc", [] { sink = std::realloc (nullptr, 64); std::free (sink); }, 1, 1, 0 },
        { "std::mutex", [] { std::mutex m; m.lock(); m.unlock(); }, 0, 0, 1 },
        { "CriticalSection", [] { juce::CriticalSection section; const juce::ScopedLock lock (section); }, 0, 0, 1 },
    };
    for (const auto& c : cases)
    {
        const auto counts = probe::watch (c.fn);
        EXPECT_EQ (counts.allocations, c.allocations) << c.what;
        EXPECT_EQ (counts.deallocations, c.deallocations) << c.what;
        EXPECT_EQ (counts.locks, c.locks) << c.what;
    }

    // Allocations deep inside the framework, reached through the processor, are seen too.
    MarnovexTemplateAudioProcessor processor;
    juce::MemoryBlock state;
    EXPECT_GT (probe::watch ([&] { processor.getStateInformation (state); }).allocations, 0);

    // Closed: nothing is counted.
    probe::allocations = probe::deallocations = probe::locks = 0;
    sink = std::malloc (16);
    std::free (sink);
    EXPECT_EQ (probe::allocations, 0);
    EXPECT_EQ (probe::deallocations, 0);
}

TEST (RealtimeSafety, ProcessBlockNeitherAllocatesNorLocks)
{
    for (const auto layout : { Layout::stereo, Layout::monoToStereo, Layout::mono })
    {
        SCOPED_TRACE ((int) layout);
        const auto total = runSession (layout, 600);
        EXPECT_EQ (total.allocations, 0);
        EXPECT_EQ (total.deallocations, 0);
        EXPECT_EQ (total.locks, 0);
    }
}
