#include "framework/SideBySide.h"

#include <exception>
#include <thread>
#include <vector>

void RunSideBySide(size_t count, const std::function<void(size_t)>& work)
{
    std::vector<std::exception_ptr> errors(count);
    auto run = [&](size_t i) {
        try {
            work(i);
        } catch (...) {
            errors[i] = std::current_exception();
        }
    };
    std::vector<std::thread> helpers;
    std::vector<size_t> here{0};
    for (size_t i = 1; i < count; ++i)
        try {
            helpers.emplace_back(run, i);
        } catch (...) {
            // No thread to be had: this one does it.
            here.push_back(i);
        }
    for (const size_t i : here)
        run(i);
    for (std::thread& helper : helpers)
        helper.join();
    for (const std::exception_ptr& error : errors)
        if (error)
            std::rethrow_exception(error);
}
