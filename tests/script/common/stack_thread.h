#pragma once
// Runs a test's body on a thread with a stack of a given size: small, as a
// host may give the thread its scripts compile and run on, so that what
// recursion a walk needs shows early; or large, so that a test of counted
// bounds does not depend on the frame sizes of the build.

#include <gtest/gtest.h>

#include <pthread.h>

#include <cstddef>
#include <functional>

inline void runOnStackOf(std::size_t stackBytes, const std::function<void()>& body)
{
    pthread_attr_t attributes;
    pthread_attr_init(&attributes);
    pthread_attr_setstacksize(&attributes, stackBytes);
    pthread_t thread;
    auto run = [](void* context) -> void* {
        (*static_cast<const std::function<void()>*>(context))();
        return nullptr;
    };
    ASSERT_EQ(pthread_create(&thread, &attributes, run, const_cast<std::function<void()>*>(&body)), 0);
    pthread_join(thread, nullptr);
    pthread_attr_destroy(&attributes);
}
