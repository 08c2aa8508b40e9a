#include "support/gl_env.h"

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <string>

namespace {

std::unique_ptr<HeadlessGL> context;
std::string failure;

class GLEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        try {
            context = std::make_unique<HeadlessGL>(kTestGLWidth, kTestGLHeight);
        } catch (const std::exception &e) {
            failure = e.what();
            ADD_FAILURE() << failure;
        }
    }
    void TearDown() override { context.reset(); }
};

// Registered before main runs, so that every binary linking this file gets
// the context without touching its own main.
[[maybe_unused]] ::testing::Environment *const registered =
    ::testing::AddGlobalTestEnvironment(new GLEnvironment);

} // namespace

HeadlessGL &testGL() {
    if (!context)
        throw std::runtime_error("no test GL context: " + failure);
    context->makeCurrent();
    return *context;
}
