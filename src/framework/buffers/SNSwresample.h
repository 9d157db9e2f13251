// SPDX-License-Identifier: MIT
// libswresample and the few libavutil functions that go with it, opened on
// first use: libavutil pulls in some twenty libraries (video acceleration,
// X11, OpenCL), which a program that never converts a rate or a channel
// layout should not pay for at start-up. The package library links no libav
// library; the libav components are a module of their own.
#pragma once

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
}

namespace Sonorix {

struct TSwresample {
    decltype(&::swr_alloc_set_opts2) swr_alloc_set_opts2 = nullptr;
    decltype(&::swr_init) swr_init = nullptr;
    decltype(&::swr_free) swr_free = nullptr;
    decltype(&::swr_convert) swr_convert = nullptr;
    decltype(&::swr_get_out_samples) swr_get_out_samples = nullptr;
    decltype(&::av_opt_set_int) av_opt_set_int = nullptr;
    decltype(&::av_opt_set_double) av_opt_set_double = nullptr;
    decltype(&::av_opt_set_sample_fmt) av_opt_set_sample_fmt = nullptr;
    decltype(&::av_channel_layout_from_mask) av_channel_layout_from_mask = nullptr;
    decltype(&::av_channel_layout_default) av_channel_layout_default = nullptr;
    decltype(&::av_channel_layout_uninit) av_channel_layout_uninit = nullptr;
};

// The bound functions; nullptr when the libraries or one of the functions
// cannot be found (the converters then refuse to open). Loads once, from any
// thread.
const TSwresample* Swresample();

} // namespace Sonorix
