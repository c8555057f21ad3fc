// Keeps the module's arithmetic independent of the floating-point state that
// the host process has set. A host may have set the SSE unit to a directed
// rounding mode, flush-to-zero or denormals-are-zero, or unmasked its
// exceptions; on 32-bit x86 it may also have left the x87 unit at 64-bit
// precision or a directed rounding mode, and the standard library's text
// conversions use x87 arithmetic there. While a guard lives, the units the
// module computes with round to nearest in double precision with every
// exception masked; its destructor puts the host's state back. On x86-64 the
// module computes in SSE only, so only the SSE control word is guarded there.
#pragma once

namespace brisel_fp {

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
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
#if defined(__i386__)
        // Drop the flags raised meanwhile (inexact at least) so that restoring
        // a control word with unmasked exceptions cannot trap at the host's
        // next x87 instruction.
        __asm__ __volatile__("fnclex" : : : "memory");
        __asm__ __volatile__("fldcw %0" : : "m"(x87_) : "memory");
#endif
#if defined(__SSE__)
        // The host's own flags come back with its control bits; SSE raises
        // nothing on loading them.
        __asm__ __volatile__("ldmxcsr %0" : : "m"(mxcsr_) : "memory");
#endif
    }
    Guard(const Guard&) = delete;
    Guard& operator=(const Guard&) = delete;

private:
#if defined(__i386__)
    unsigned short x87_ = 0;
#endif
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
