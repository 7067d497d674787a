#include "vxrhost/HostWaveforms142.h"

#include "VXR_Interface.h"

#include <algorithm>
#include <cmath>
#include <memory>

namespace vxr {

namespace {

class Waveform {
public:
    virtual ~Waveform() = default;
    virtual std::unique_ptr<Waveform> clone() const = 0;
    virtual void accept(const WaveformPass& pass) = 0;
    double slope = 1.0; // d output / d input of the latest load
};

class TransitionWave final : public Waveform {
public:
    std::unique_ptr<Waveform> clone() const override { return std::make_unique<TransitionWave>(*this); }

    double load(const WaveformPass& p, double F, double delay, double rise, double fall) {
        in_ = F;
        delay_ = delay;
        rise_ = rise;
        fall_ = fall;
        slope = 1.0;
        if (!p.active || !init_) return F;
        // No ramp time and no delay: the output is the input.
        if (!(delay > 0) && ((F > lastIn_ && !(rise > 0)) || (F < lastIn_ && !(fall > 0)))) return F;
        slope = 0.0;
        return outAt(p.time);
    }

    void accept(const WaveformPass& p) override {
        const double t = p.time;
        if (t == 0.0 || !init_) {
            init_ = true;
            lastIn_ = from_ = to_ = in_;
            start_ = stop_ = -1.0;
            pending_.clear();
            return;
        }
        const double out = outAt(t);
        if (changed(in_, lastIn_)) {
            const double s = t + std::max(delay_, 0.0);
            pending_.erase(std::remove_if(pending_.begin(), pending_.end(), [&](const Event& e) { return e.start >= s; }),
                           pending_.end());
            pending_.push_back({s, in_, rise_, fall_});
        }
        lastIn_ = in_;
        // A due change starts its ramp from the present output.
        while (!pending_.empty() && pending_.front().start - t <= 0.49 * p.minStep) {
            const Event e = pending_.front();
            pending_.erase(pending_.begin());
            const double ramp = e.target >= out ? e.rise : e.fall;
            from_ = out;
            to_ = e.target;
            start_ = t;
            stop_ = ramp > 0 ? t + ramp : t;
        }
        if (!p.breaks) return;
        if (stop_ > t) p.breaks->push_back(stop_);
        if (!pending_.empty()) p.breaks->push_back(pending_.front().start);
    }

private:
    struct Event {
        double start, target, rise, fall;
    };
    static bool changed(double a, double b) {
        return std::abs(a - b) > 1e-10 + 1e-10 * std::max(std::abs(a), std::abs(b));
    }
    double outAt(double t) const {
        if (!(stop_ > start_) || t >= stop_) return to_;
        if (t <= start_) return from_;
        return from_ + (to_ - from_) * ((t - start_) / (stop_ - start_));
    }

    bool init_ = false;
    double in_ = 0.0, lastIn_ = 0.0; // input of the latest load; at the last accepted point
    double delay_ = 0.0, rise_ = 0.0, fall_ = 0.0;
    double start_ = -1.0, stop_ = -1.0, from_ = 0.0, to_ = 0.0; // the ramp in progress
    std::vector<Event> pending_;                                  // in start order
};

class SlewWave final : public Waveform {
public:
    std::unique_ptr<Waveform> clone() const override { return std::make_unique<SlewWave>(*this); }

    double load(const WaveformPass& p, double F, double pos, double neg) {
        const double t = p.time;
        double y = F;
        slope = 1.0;
        if (p.active && prevTime_ >= 0.0) {
            const double dx = F - prevOut_;
            const double h = std::max(t - prevTime_, 1e-15 * t);
            const double rate = dx / h;
            if (dx > 0 && pos > 0 && rate > pos) {
                y = prevOut_ + pos * h;
                slope = 0.0;
            } else if (dx < 0 && neg < 0 && rate < neg) {
                y = prevOut_ + neg * h;
                slope = 0.0;
            }
        }
        cacheTime_ = t;
        cacheOut_ = y;
        return y;
    }
    void accept(const WaveformPass&) override {
        prevTime_ = cacheTime_;
        prevOut_ = cacheOut_;
    }

private:
    double prevTime_ = -1.0, prevOut_ = 0.0, cacheTime_ = 0.0, cacheOut_ = 0.0;
};

// What the library holds: the header, then the host's waveform.
struct WaveformObject {
    VXR142_GenericOperatorState head;
    Waveform* wave;
};

void* wrap(VXR_OperatorStateTypeE type, std::unique_ptr<Waveform> w) {
    auto* o = new WaveformObject{};
    o->head.opStateType = type;
    o->wave = w.release();
    return o;
}

template <class W> W* as(void* object) {
    auto* o = static_cast<WaveformObject*>(object);
    return o ? dynamic_cast<W*>(o->wave) : nullptr;
}

} // namespace

void* makeTransitionObject() { return wrap(VXR_TRANSITION_SPEC, std::make_unique<TransitionWave>()); }
void* makeSlewObject() { return wrap(VXR_SLEW_SPEC, std::make_unique<SlewWave>()); }

void* copyWaveformObject(void* object) {
    auto* o = static_cast<WaveformObject*>(object);
    return o ? wrap(o->head.opStateType, o->wave->clone()) : nullptr;
}

void freeWaveformObject(void* object) {
    auto* o = static_cast<WaveformObject*>(object);
    if (!o) return;
    delete o->wave;
    delete o;
}

double loadTransition(void* object, const WaveformPass& pass, double F, double delay, double riseTime,
                      double fallTime) {
    TransitionWave* w = as<TransitionWave>(object);
    return w ? w->load(pass, F, delay, riseTime, fallTime) : F;
}

double loadSlew(void* object, const WaveformPass& pass, double F, double posSlew, double negSlew) {
    SlewWave* w = as<SlewWave>(object);
    return w ? w->load(pass, F, posSlew, negSlew) : F;
}

double waveformSlope(const void* object) {
    auto* o = static_cast<const WaveformObject*>(object);
    return o ? o->wave->slope : 1.0;
}

void acceptWaveform(void* object, const WaveformPass& pass) {
    if (auto* o = static_cast<WaveformObject*>(object)) o->wave->accept(pass);
}

} // namespace vxr
