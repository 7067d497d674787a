// Exported entry points of the analog functions: for each function a partials
// entry, a value-only entry and a scalar-derivative entry.
//
// Compile with VXR_REVISION=160 for the module1 names or VXR_REVISION=142 for
// the TORVEX names. The exported names contain a double underscore, so the C++
// functions carry their symbol names as asm labels. The entries are the one
// place that marks them for export, on Linux and on Windows alike.
#include <cstddef>
#include <utility>

#include "analog_functions.h"

#ifndef VXR_REVISION
#error "VXR_REVISION must be defined (160 or 142)"
#endif

#if VXR_REVISION == 160
#define VXR_FN_SYMBOL(kind, name) "_" #kind "__module1_" #name
#elif VXR_REVISION == 142
#define VXR_FN_SYMBOL(kind, name) "_" #kind "_TORVEX_" #name
#else
#error "analog function entries exist for revisions 160 and 142 only"
#endif

#define VXR_FN_STR_(x) #x
#define VXR_FN_STR(x) VXR_FN_STR_(x)
// The assembler name: the target's prefix of C names (an underscore on 32-bit
// Windows, none on Linux), then the exported name.
#define VXR_FN_LABEL(kind, name) VXR_FN_STR(__USER_LABEL_PREFIX__) VXR_FN_SYMBOL(kind, name)

#if defined(_WIN32)
// MinGW's dllexport does not work with an asm label: the compiler writes the
// whole label into the linker's export directive, where the linker expects a
// name without the target's underscore, and finds no symbol under the label
// with a second underscore in front. So each entry writes its own directive
// with the exported name, and the file-scope asm goes back to .text, where the
// compiler left it.
#define VXR_FN_EXPORT
#define VXR_FN_EXPORT_DIRECTIVE(kind, name) \
    asm(".section .drectve\n\t.ascii \" -export:\\\"" VXR_FN_SYMBOL(kind, name) "\\\"\"\n\t.text");
#else
#define VXR_FN_EXPORT __attribute__((visibility("default")))
#define VXR_FN_EXPORT_DIRECTIVE(kind, name)
#endif

namespace {

using Scalar = double;

// Partials entry body: value with a dual of N partials, one seeded per
// argument; the constant-zero slots are stored as 0.0. A null dfdx gets the
// plain double evaluation, whose value is bit-identical.
template <std::size_t N, unsigned ZeroMask, class F>
double partials(F f, const double (&x)[N], double* dfdx)
{
    return [&]<std::size_t... I>(std::index_sequence<I...>) -> double {
        constexpr unsigned all = (1u << N) - 1u;
        if (dfdx == nullptr || ZeroMask == all) {
            const double value = f(x[I]...);
            if (dfdx != nullptr)
                for (std::size_t k = 0; k < N; ++k) dfdx[k] = 0.0;
            return value;
        }
        using D = vxr::Dual<static_cast<int>(N), VXR_REVISION>;
        const D r = f(D::seed(x[I], static_cast<int>(I))...);
        for (std::size_t k = 0; k < N; ++k)
            dfdx[k] = (ZeroMask >> k) & 1u ? 0.0 : r.d[k];
        return r.v;
    }(std::make_index_sequence<N>{});
}

template <std::size_t N>
double dot(const double (&dx)[N], const double (&dfdx)[N])
{
    double s = 0.0;
    for (std::size_t k = 0; k < N; ++k) s = s + dx[k] * dfdx[k];
    return s;
}

}  // namespace

// Parameter and argument lists by arity.
#define VXR_P1 double x0
#define VXR_P2 VXR_P1, double x1
#define VXR_P3 VXR_P2, double x2
#define VXR_P4 VXR_P3, double x3
#define VXR_P5 VXR_P4, double x4
#define VXR_P6 VXR_P5, double x5
#define VXR_P7 VXR_P6, double x6
#define VXR_P8 VXR_P7, double x7
#define VXR_P9 VXR_P8, double x8
#define VXR_P10 VXR_P9, double x9
#define VXR_A1 x0
#define VXR_A2 VXR_A1, x1
#define VXR_A3 VXR_A2, x2
#define VXR_A4 VXR_A3, x3
#define VXR_A5 VXR_A4, x4
#define VXR_A6 VXR_A5, x5
#define VXR_A7 VXR_A6, x6
#define VXR_A8 VXR_A7, x7
#define VXR_A9 VXR_A8, x8
#define VXR_A10 VXR_A9, x9
#define VXR_PD1 double x0, double dx0
#define VXR_PD2 VXR_PD1, double x1, double dx1
#define VXR_PD3 VXR_PD2, double x2, double dx2
#define VXR_PD4 VXR_PD3, double x3, double dx3
#define VXR_PD5 VXR_PD4, double x4, double dx4
#define VXR_PD6 VXR_PD5, double x5, double dx5
#define VXR_PD7 VXR_PD6, double x6, double dx6
#define VXR_PD8 VXR_PD7, double x7, double dx7
#define VXR_PD9 VXR_PD8, double x8, double dx8
#define VXR_PD10 VXR_PD9, double x9, double dx9
#define VXR_DX1 dx0
#define VXR_DX2 VXR_DX1, dx1
#define VXR_DX3 VXR_DX2, dx2
#define VXR_DX4 VXR_DX3, dx3
#define VXR_DX5 VXR_DX4, dx4
#define VXR_DX6 VXR_DX5, dx5
#define VXR_DX7 VXR_DX6, dx6
#define VXR_DX8 VXR_DX7, dx7
#define VXR_DX9 VXR_DX8, dx8
#define VXR_DX10 VXR_DX9, dx9

#define VXR_FN_ENTRIES(name, n, zero)                                                      \
    VXR_FN_EXPORT double vxr_fn_##name(VXR_P##n, double* dfdx, void* p, void* q)          \
        asm(VXR_FN_LABEL(fn, name));                                                       \
    VXR_FN_EXPORT double vxr_fnRHS_##name(VXR_P##n) asm(VXR_FN_LABEL(fnRHS, name));        \
    VXR_FN_EXPORT double vxr_fnScalarDeriv_##name(VXR_PD##n, void* p, void* q)            \
        asm(VXR_FN_LABEL(fnScalarDeriv, name));                                            \
    VXR_FN_EXPORT_DIRECTIVE(fn, name)                                                      \
    VXR_FN_EXPORT_DIRECTIVE(fnRHS, name)                                                   \
    VXR_FN_EXPORT_DIRECTIVE(fnScalarDeriv, name)                                           \
    double vxr_fn_##name(VXR_P##n, double* dfdx, void*, void*)                             \
    {                                                                                      \
        const double x[n] = {VXR_A##n};                                                    \
        return partials<n, zero>([](const auto&... a) { return vxr::fn::name(a...); }, x,  \
                                 dfdx);                                                    \
    }                                                                                      \
    double vxr_fnRHS_##name(VXR_P##n) { return vxr::fn::name<Scalar>(VXR_A##n); }          \
    double vxr_fnScalarDeriv_##name(VXR_PD##n, void* p, void* q)                          \
    {                                                                                      \
        double dfdx[n];                                                                    \
        (void)vxr_fn_##name(VXR_A##n, dfdx, p, q);                                         \
        const double dx[n] = {VXR_DX##n};                                                  \
        return dot(dx, dfdx);                                                              \
    }

VXR_ANALOG_FUNCTIONS(VXR_FN_ENTRIES)
