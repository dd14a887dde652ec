// The FFT seam on FFTW: buffers from its aligned allocator, plans made one at a time.
#include "meter/dsp/fft.h"

#include <fftw3.h>

#include <algorithm>
#include <limits>
#include <memory>
#include <mutex>

#include "meter/meter.h"

namespace wobblemeter {

// fftw_complex is double[2], laid out as std::complex<double> is (both are the C99 layout).
static_assert(sizeof(fftw_complex) == sizeof(std::complex<double>));

struct ComplexFft::Plan {
    fftw_plan plan;
};

namespace {

// FFTW's planner is not thread-safe (its execution is): files measured side by side plan and
// destroy their transforms one at a time.
std::mutex& PlannerMutex() {
    static std::mutex mutex;
    return mutex;
}

}  // namespace

ComplexFft::ComplexFft(size_t size) : size_(size) {
    auto plan = std::make_unique<Plan>();
    auto* data = fftw_alloc_complex(std::max<size_t>(1, size));
    if (data == nullptr || size > static_cast<size_t>(std::numeric_limits<int>::max())) {
        fftw_free(data);
        throw MeterError(Msg::kSpectrumMemory);
    }
    {
        const std::lock_guard<std::mutex> lock(PlannerMutex());
        plan->plan =
            fftw_plan_dft_1d(static_cast<int>(size), data, data, FFTW_FORWARD, FFTW_ESTIMATE);
    }
    if (plan->plan == nullptr) {
        fftw_free(data);
        throw MeterError(Msg::kSpectrumPlan);
    }
    data_ = reinterpret_cast<std::complex<double>*>(data);
    plan_ = plan.release();
}

ComplexFft::~ComplexFft() {
    {
        const std::lock_guard<std::mutex> lock(PlannerMutex());
        fftw_destroy_plan(plan_->plan);
    }
    delete plan_;
    fftw_free(data_);
}

void ComplexFft::Forward() {
    fftw_execute(plan_->plan);
}

}  // namespace wobblemeter
