# SuperLU for the Windows cross build, where no packaged library exists: the released 5.3.0
# sources in third_party/ are built once into this build tree, with the toolchain of the build
# and SuperLU's own reference BLAS, single precision only (all the solver layer uses). Gives the
# same imported target as Debian's package: superlu::superlu.
include(ExternalProject)

set(superlu_prefix ${CMAKE_BINARY_DIR}/third_party/superlu)
set(superlu_install ${superlu_prefix}/install)
get_filename_component(superlu_toolchain "${CMAKE_TOOLCHAIN_FILE}" ABSOLUTE
                       BASE_DIR "${CMAKE_BINARY_DIR}")
set(superlu_libs ${superlu_install}/lib/libsuperlu.a ${superlu_install}/lib/libblas.a)

ExternalProject_Add(superlu_build
    URL ${PROJECT_SOURCE_DIR}/third_party/superlu-5.3.0.tar.gz
    URL_HASH SHA256=45ea279843502c0c169c12ded7378be4739a54b266827305f4ac74e9ea42d9e5
    PREFIX ${superlu_prefix}
    INSTALL_DIR ${superlu_install}
    CMAKE_ARGS
        -DCMAKE_TOOLCHAIN_FILE=${superlu_toolchain}
        -DCMAKE_BUILD_TYPE=Release
        -DCMAKE_INSTALL_PREFIX=<INSTALL_DIR>
        -DCMAKE_INSTALL_LIBDIR=lib
        -DCMAKE_INSTALL_INCLUDEDIR=include
        -DBUILD_SHARED_LIBS=OFF
        -Denable_internal_blaslib=ON
        -DXSDK_ENABLE_Fortran=OFF
        -Denable_tests=OFF
        -Denable_examples=OFF
        -Denable_doc=OFF
        -Denable_matlabmex=OFF
        -Denable_single=ON
        -Denable_double=OFF
        -Denable_complex=OFF
        -Denable_complex16=OFF
        -Wno-dev
    # The machine is shared: no more jobs than the outer build is allowed.
    BUILD_COMMAND ${CMAKE_COMMAND} --build <BINARY_DIR> --parallel 2
    BUILD_BYPRODUCTS ${superlu_libs}
    DOWNLOAD_EXTRACT_TIMESTAMP ON
)

# Imported targets need their include folder to exist when the tree is configured.
file(MAKE_DIRECTORY ${superlu_install}/include)
add_library(superlu_blas STATIC IMPORTED GLOBAL)
set_target_properties(superlu_blas PROPERTIES
    IMPORTED_LOCATION ${superlu_install}/lib/libblas.a)
add_dependencies(superlu_blas superlu_build)
add_library(superlu::superlu STATIC IMPORTED GLOBAL)
set_target_properties(superlu::superlu PROPERTIES
    IMPORTED_LOCATION ${superlu_install}/lib/libsuperlu.a
    INTERFACE_INCLUDE_DIRECTORIES ${superlu_install}/include
    INTERFACE_LINK_LIBRARIES superlu_blas)
add_dependencies(superlu::superlu superlu_build)
