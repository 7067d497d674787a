// Shared by the random-number tests: entry points by name, the way the
// reference tables name them.
#pragma once

#include <string>

#include "VXR_SupportLib.h"

namespace randtest {

// The integer entry point `name` ("random", "dist_uniform", ... "dist_erlang")
// with its (up to two) arguments.
inline int drawInt(const std::string& name, VXR_RandomDesc* d, int* seed, int a, int b)
{
    if (name == "random") return VXR_random(d, seed);
    if (name == "dist_uniform") return VXR_dist_uniform(d, seed, a, b);
    if (name == "dist_normal") return VXR_dist_normal(d, seed, a, b);
    if (name == "dist_exponential") return VXR_dist_exponential(d, seed, a);
    if (name == "dist_poisson") return VXR_dist_poisson(d, seed, a);
    if (name == "dist_chi_square") return VXR_dist_chi_square(d, seed, a);
    if (name == "dist_t") return VXR_dist_t(d, seed, a);
    if (name == "dist_erlang") return VXR_dist_erlang(d, seed, a, b);
    throw std::string("no integer entry point ") + name;
}

// The by-value twin of drawInt's entry point.
inline int drawInt2(const std::string& name, VXR_RandomDesc* d, int seed, int a, int b)
{
    if (name == "random") return VXR_random2(d, seed);
    if (name == "dist_uniform") return VXR_dist2_uniform(d, seed, a, b);
    if (name == "dist_normal") return VXR_dist2_normal(d, seed, a, b);
    if (name == "dist_exponential") return VXR_dist2_exponential(d, seed, a);
    if (name == "dist_poisson") return VXR_dist2_poisson(d, seed, a);
    if (name == "dist_chi_square") return VXR_dist2_chi_square(d, seed, a);
    if (name == "dist_t") return VXR_dist2_t(d, seed, a);
    if (name == "dist_erlang") return VXR_dist2_erlang(d, seed, a, b);
    throw std::string("no integer entry point ") + name;
}

inline double drawReal(const std::string& name, VXR_RandomDesc* d, int* seed, double a, double b)
{
    if (name == "rdist_uniform") return VXR_rdist_uniform(d, seed, a, b);
    if (name == "rdist_normal") return VXR_rdist_normal(d, seed, a, b);
    if (name == "rdist_exponential") return VXR_rdist_exponential(d, seed, a);
    if (name == "rdist_poisson") return VXR_rdist_poisson(d, seed, a);
    if (name == "rdist_chi_square") return VXR_rdist_chi_square(d, seed, a);
    if (name == "rdist_t") return VXR_rdist_t(d, seed, a);
    if (name == "rdist_erlang") return VXR_rdist_erlang(d, seed, a, b);
    throw std::string("no real entry point ") + name;
}

inline double drawReal2(const std::string& name, VXR_RandomDesc* d, int seed, double a, double b)
{
    if (name == "rdist_uniform") return VXR_rdist2_uniform(d, seed, a, b);
    if (name == "rdist_normal") return VXR_rdist2_normal(d, seed, a, b);
    if (name == "rdist_exponential") return VXR_rdist2_exponential(d, seed, a);
    if (name == "rdist_poisson") return VXR_rdist2_poisson(d, seed, a);
    if (name == "rdist_chi_square") return VXR_rdist2_chi_square(d, seed, a);
    if (name == "rdist_t") return VXR_rdist2_t(d, seed, a);
    if (name == "rdist_erlang") return VXR_rdist2_erlang(d, seed, a, b);
    throw std::string("no real entry point ") + name;
}

} // namespace randtest
