#include <gtest/gtest.h>

#include "platform/Win32Handles.h"

// The window and the automation object expect a single-threaded apartment
// on the thread that uses them, as WinMain sets up.
int main(int argc, char** argv) {
    const ComInit com;
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
