// Keeps the module's arithmetic independent of the floating-point state that
// the host process has set. On 32-bit x86 the host may have left the x87 unit
// at 64-bit precision or a directed rounding mode, or set the SSE
// flush-to-zero bits; the standard library's text conversions use x87
// arithmetic internally and the module's own products use SSE. While a guard
// lives, both units round to nearest in double precision with every exception
// masked; its destructor puts the host's state back. On 64-bit x86 the
// module computes in SSE only, so only MXCSR (rounding, flush-to-zero) is
// set and restored; the host's x87 state plays no part there.
#pragma once

namespace brisel_fp {

#if (defined(__i386__) || defined(__x86_64__)) && defined(__GNUC__)
class Guard {
public:
    Guard() {
#if defined(__i386__)
        __asm__ __volatile__("fnstcw %0" : "=m"(x87_));
        // Exception masks on (bits 0-5), 53-bit precision (bits 8-9 = 10),
        // round to nearest (bits 10-11 = 00).
        unsigned short cw = static_cast<unsigned short>((x87_ & ~0x0F3Fu) | 0x023Fu);
        __asm__ __volatile__("fldcw %0" : : "m"(cw) : "memory");
#endif
#if defined(__SSE__)
        __asm__ __volatile__("stmxcsr %0" : "=m"(mxcsr_));
        unsigned int csr = 0x1F80u;  // all masked, nearest, no DAZ/FTZ, no flags
        __asm__ __volatile__("ldmxcsr %0" : : "m"(csr) : "memory");
#endif
    }
    ~Guard() {
        // Drop the flags raised meanwhile (inexact at least) so that restoring
        // a control word with unmasked exceptions cannot trap at the host's
        // next x87 instruction.
#if defined(__i386__)
        __asm__ __volatile__("fnclex" : : : "memory");
        __asm__ __volatile__("fldcw %0" : : "m"(x87_) : "memory");
#endif
#if defined(__SSE__)
        __asm__ __volatile__("ldmxcsr %0" : : "m"(mxcsr_) : "memory");
#endif
    }
    Guard(const Guard&) = delete;
    Guard& operator=(const Guard&) = delete;

private:
    unsigned short x87_ = 0;
    unsigned int mxcsr_ = 0;
};

// Pins v in memory at this point, so that the compiler computes nothing with
// it across the guard's changes of the control words.
inline void Pin(double& v) { __asm__ __volatile__("" : "+m"(v) : : "memory"); }
#else
class Guard {
public:
    Guard() {}
    Guard(const Guard&) = delete;
    Guard& operator=(const Guard&) = delete;
};

inline void Pin(double&) {}
#endif

}  // namespace brisel_fp
