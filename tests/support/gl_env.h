// gl_env.h — one headless GL context for a whole test binary.
//
// Compiling gl_env.cpp into a test binary registers a GoogleTest
// environment that creates a 256 × 256 HeadlessGL before the first test and
// destroys it after the last; tests reach it with testGL(). A binary keeps
// one context because creating one costs far more than any GL test.
#ifndef CLOUDS_TESTS_SUPPORT_GL_ENV_H
#define CLOUDS_TESTS_SUPPORT_GL_ENV_H

#include "headless_gl.h"

constexpr int kTestGLWidth = 256;
constexpr int kTestGLHeight = 256;

// The binary's context, current and with its framebuffer bound. Throws
// std::runtime_error (a failed test) when the context could not be made.
HeadlessGL &testGL();

#endif
