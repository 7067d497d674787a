// Calls the exported analog-function entries of a shared library by name.
#pragma once

#include <dlfcn.h>

#include <array>
#include <cstddef>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

class EntryLibrary {
public:
    EntryLibrary(const char* path, std::string module) : module_(std::move(module))
    {
        handle_ = dlopen(path, RTLD_NOW | RTLD_LOCAL);
        if (handle_ == nullptr) throw std::runtime_error(dlerror());
    }
    ~EntryLibrary() { dlclose(handle_); }
    EntryLibrary(const EntryLibrary&) = delete;
    EntryLibrary& operator=(const EntryLibrary&) = delete;

    // "_fn_" + module + name, for kind "fn", "fnRHS" or "fnScalarDeriv".
    void* entry(const std::string& kind, const std::string& name) const
    {
        const std::string symbol = "_" + kind + "_" + module_ + name;
        void* f = dlsym(handle_, symbol.c_str());
        if (f == nullptr) throw std::runtime_error("missing " + symbol);
        return f;
    }

    double partials(const std::string& name, const std::vector<double>& x, double* dfdx) const
    {
        return dispatch<10>(x.size(), [&]<std::size_t N>() {
            return callPartials(entry("fn", name), x.data(), dfdx, std::make_index_sequence<N>{});
        });
    }
    double value(const std::string& name, const std::vector<double>& x) const
    {
        return dispatch<10>(x.size(), [&]<std::size_t N>() {
            return callValue(entry("fnRHS", name), x.data(), std::make_index_sequence<N>{});
        });
    }
    double scalarDeriv(const std::string& name, const std::vector<double>& x,
                       const std::vector<double>& dx) const
    {
        std::vector<double> xd;
        for (std::size_t k = 0; k < x.size(); ++k) {
            xd.push_back(x[k]);
            xd.push_back(dx[k]);
        }
        return dispatch<20>(xd.size(), [&]<std::size_t N>() {
            return callPartials(entry("fnScalarDeriv", name), xd.data(), nullptr,
                                std::make_index_sequence<N>{}, false);
        });
    }

private:
    template <std::size_t I>
    using Dbl = double;

    template <std::size_t... I>
    static double callPartials(void* f, const double* x, double* dfdx, std::index_sequence<I...>,
                               bool withArray = true)
    {
        int pq = 0;  // p and q must never be read; pass a live address anyway
        if (withArray) {
            using Fn = double (*)(Dbl<I>..., double*, void*, void*);
            return reinterpret_cast<Fn>(f)(x[I]..., dfdx, &pq, &pq);
        }
        using Fn = double (*)(Dbl<I>..., void*, void*);
        return reinterpret_cast<Fn>(f)(x[I]..., nullptr, nullptr);
    }
    template <std::size_t... I>
    static double callValue(void* f, const double* x, std::index_sequence<I...>)
    {
        using Fn = double (*)(Dbl<I>...);
        return reinterpret_cast<Fn>(f)(x[I]...);
    }
    template <std::size_t Max, class F, std::size_t N = 1>
    static double dispatch(std::size_t n, F&& f)
    {
        if constexpr (N > Max) {
            throw std::runtime_error("arity out of range");
        } else {
            if (n == N) return f.template operator()<N>();
            return dispatch<Max, F, N + 1>(n, std::forward<F>(f));
        }
    }

    void* handle_ = nullptr;
    std::string module_;
};
