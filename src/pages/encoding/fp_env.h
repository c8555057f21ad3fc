// Keeps the module's arithmetic independent of the floating-point state that
// the host process has set. On 32-bit x86 the host may have left the x87 unit
// at 64-bit precision or a directed rounding mode, or set the SSE
// flush-to-zero bits; the converter's arithmetic uses SSE, and on 32-bit x86
// the x87 unit for some operations (the text conversions do no floating-point
// arithmetic at all). While a guard lives, both units round to nearest in
// double precision with every exception masked; its destructor puts the
// host's state back, exception flags included. On 64-bit x86 the module
// computes in SSE only, so only MXCSR (rounding, flush-to-zero, flags) is set
// and restored; the host's x87 state plays no part there.
#pragma once

namespace brisel_fp {

#if (defined(__i386__) || defined(__x86_64__)) && defined(__GNUC__)
class Guard {
public:
    Guard() {
#if defined(__i386__)
        // The whole x87 environment: control word, and the status word with
        // the exception flags the host has raised so far.
        __asm__ __volatile__("fnstenv %0" : "=m"(host_));
        // Exception masks on (bits 0-5), 53-bit precision (bits 8-9 = 10),
        // round to nearest (bits 10-11 = 00).
        unsigned short cw = static_cast<unsigned short>((host_.control & ~0x0F3Fu) | 0x023Fu);
        __asm__ __volatile__("fldcw %0" : : "m"(cw) : "memory");
#endif
#if defined(__SSE__)
        __asm__ __volatile__("stmxcsr %0" : "=m"(mxcsr_));
        unsigned int csr = 0x1F80u;  // all masked, nearest, no DAZ/FTZ, no flags
        __asm__ __volatile__("ldmxcsr %0" : : "m"(csr) : "memory");
#endif
    }
    ~Guard() {
#if defined(__i386__)
        // The host's control and status words come back as they were, so the
        // flags raised meanwhile (inexact at least) are dropped and the
        // host's own flags kept. The register stack (its top and tags) is
        // left as it is now: it may hold a result on its way out.
        X87Env now;
        __asm__ __volatile__("fnstenv %0" : "=m"(now));
        now.control = host_.control;
        now.status = static_cast<unsigned short>((host_.status & ~kTop) | (now.status & kTop));
        __asm__ __volatile__("fldenv %0" : : "m"(now) : "memory");
#endif
#if defined(__SSE__)
        __asm__ __volatile__("ldmxcsr %0" : : "m"(mxcsr_) : "memory");  // flags included
#endif
    }
    Guard(const Guard&) = delete;
    Guard& operator=(const Guard&) = delete;

private:
#if defined(__i386__)
    // The 28-byte environment that fnstenv stores in 32-bit mode.
    struct X87Env {
        unsigned short control, unused0;
        unsigned short status, unused1;
        unsigned int rest[5];  // tag word, instruction and operand pointers
    };
    static constexpr unsigned kTop = 0x3800u;  // status word bits 11-13
    X87Env host_ = {};
#endif
    unsigned int mxcsr_ = 0;
};

// Pins v (an operand, or a result to be had before the guard ends) in
// memory at this point, so that the compiler computes nothing with it across
// the guard's changes of the control words.
template <class T>
inline void Pin(T& v) { __asm__ __volatile__("" : "+m"(v) : : "memory"); }
#else
class Guard {
public:
    Guard() {}
    Guard(const Guard&) = delete;
    Guard& operator=(const Guard&) = delete;
};

template <class T>
inline void Pin(T&) {}
#endif

}  // namespace brisel_fp
