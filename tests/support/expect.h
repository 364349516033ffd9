#pragma once
#include <gtest/gtest.h>

#include <string>

// Checks both the kind of an error and its message.
#define EXPECT_ERROR(statement, type, text)                                   \
    do {                                                                      \
        try {                                                                 \
            statement;                                                        \
            ADD_FAILURE() << "no error raised; expected \"" << (text) << '"'; \
        } catch (const type& e) {                                             \
            EXPECT_EQ(std::string(e.what()), std::string(text));             \
        } catch (const std::exception& e) {                                   \
            ADD_FAILURE() << "other error kind: " << e.what();                \
        }                                                                     \
    } while (0)
