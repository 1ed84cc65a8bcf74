# Qt 5.15 and the two OpenCV modules we use, as Debian 12 packages them.
find_package(Qt5 5.15 REQUIRED COMPONENTS Core Gui Widgets Multimedia Test)

# Debian ships OpenCVConfig.cmake only with the full libopencv-dev; the core
# and imgproc -dev packages are enough for us, so find them directly.
find_path(OpenCV_INCLUDE_DIR opencv2/core.hpp PATH_SUFFIXES opencv4 REQUIRED)
find_library(OpenCV_CORE_LIBRARY opencv_core REQUIRED)
find_library(OpenCV_IMGPROC_LIBRARY opencv_imgproc REQUIRED)

if(NOT TARGET OpenCV::core)
    add_library(OpenCV::core UNKNOWN IMPORTED)
    set_target_properties(OpenCV::core PROPERTIES
        IMPORTED_LOCATION ${OpenCV_CORE_LIBRARY}
        INTERFACE_INCLUDE_DIRECTORIES ${OpenCV_INCLUDE_DIR})
    add_library(OpenCV::imgproc UNKNOWN IMPORTED)
    set_target_properties(OpenCV::imgproc PROPERTIES
        IMPORTED_LOCATION ${OpenCV_IMGPROC_LIBRARY}
        INTERFACE_LINK_LIBRARIES OpenCV::core)
endif()
find_package(Threads REQUIRED)
