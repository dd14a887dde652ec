// The meter's one Fourier transform: an in-place forward complex FFT of a fixed size. Takes: size
// complex points in its buffer. Gives: their transform there, unscaled. FFTW does the work; only
// fft.cpp sees it.
#pragma once

#include <complex>
#include <cstddef>

namespace wobblemeter {

class ComplexFft {
public:
    // A transform of size points on a buffer of its own. Throws MeterError when the buffer
    // cannot be had or the transform cannot be planned.
    explicit ComplexFft(size_t size);
    ~ComplexFft();
    ComplexFft(const ComplexFft&) = delete;
    ComplexFft& operator=(const ComplexFft&) = delete;

    size_t Size() const { return size_; }
    // The size points, aligned for the library's vector code: the input before Forward, the
    // transform after it.
    std::complex<double>* Data() { return data_; }
    // X[k] = sum over n of x[n] e^(-j 2 pi k n / size), unscaled, in place.
    void Forward();

private:
    struct Plan;  // the library's plan (fft.cpp)

    size_t size_;
    std::complex<double>* data_ = nullptr;
    Plan* plan_ = nullptr;
};

}  // namespace wobblemeter
