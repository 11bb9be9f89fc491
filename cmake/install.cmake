# Installing qvad: libqvad.so.0 and libqvad.a (both the desktop library: the host windows
# need GTK), the public headers, a CMake package (find_package(qvad CONFIG): qvad::qvad,
# the shared library, and qvad::qvad_static), qvad.pc, and the tools. Debian packages
# come from the same rules through CPack (cpack -G DEB in a build directory).
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

# The libraries' own dependencies, as the package files name them for static links.
set(QVAD_PC_REQUIRES_PRIVATE "gtk+-3.0 gio-2.0 glib-2.0 webkit2gtk-4.1 x11 cairo pangocairo libcurl openssl")
set(QVAD_PC_LIBS_PRIVATE "-lgif -lstdc++ -lpthread -lm")

install(TARGETS qvad_shared
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime NAMELINK_COMPONENT dev)
# The static desktop library is libqvad.a under the prefix, whatever it is called here.
install(FILES $<TARGET_FILE:qvad_desktop> DESTINATION ${CMAKE_INSTALL_LIBDIR} RENAME libqvad.a COMPONENT dev)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/include/qvad DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT dev
  FILES_MATCHING PATTERN "*.h")

set(QVAD_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/qvad)
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/qvadConfig.cmake.in
  ${PROJECT_BINARY_DIR}/package/qvadConfig.cmake
  INSTALL_DESTINATION ${QVAD_CMAKE_DIR}
  PATH_VARS CMAKE_INSTALL_INCLUDEDIR CMAKE_INSTALL_LIBDIR)
write_basic_package_version_file(${PROJECT_BINARY_DIR}/package/qvadConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/package/qvadConfig.cmake ${PROJECT_BINARY_DIR}/package/qvadConfigVersion.cmake
  DESTINATION ${QVAD_CMAKE_DIR} COMPONENT dev)

# Relocatable: the prefix is found from where the file lies (cmake --install --prefix, a .deb).
file(RELATIVE_PATH QVAD_PC_PREFIX_FROM_PCFILE "/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/")
string(REGEX REPLACE "/$" "" QVAD_PC_PREFIX_FROM_PCFILE "${QVAD_PC_PREFIX_FROM_PCFILE}")
configure_file(${PROJECT_SOURCE_DIR}/cmake/qvad.pc.in ${PROJECT_BINARY_DIR}/package/qvad.pc @ONLY)
# qvad-static.pc links libqvad.a against the shared dependencies: pkg-config --static
# would ask for the static closure of the whole GTK stack, which Debian's -dev packages do
# not all provide.
configure_file(${PROJECT_SOURCE_DIR}/cmake/qvad-static.pc.in ${PROJECT_BINARY_DIR}/package/qvad-static.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/package/qvad.pc ${PROJECT_BINARY_DIR}/package/qvad-static.pc
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT dev)

if(TARGET qvadctl AND TARGET qvad-sandbox)
  install(TARGETS qvadctl qvad-sandbox RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT tools)
endif()

# Debian packages: libqvad0 (the shared library), libqvad-dev (headers, static library,
# CMake and pkg-config files), qvad-tools. Binary dependencies come from dpkg-shlibdeps.
set(CPACK_PACKAGE_NAME qvad)
set(CPACK_PACKAGE_VENDOR "qvad")
set(CPACK_PACKAGE_CONTACT "qvad developers <dev@qvad.invalid>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Advertising library: floating badge, reward video and interstitial ads")
set(CPACK_PACKAGE_INSTALL_DIRECTORY /usr)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_COMPONENTS_ALL runtime dev tools)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME libqvad0)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_DEV_PACKAGE_NAME libqvad-dev)
set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
# What a static link of libqvad.a and the CMake package's find_dependency calls need.
set(CPACK_DEBIAN_DEV_PACKAGE_DEPENDS
  "libqvad0 (= ${PROJECT_VERSION}), libgtk-3-dev, libwebkit2gtk-4.1-dev, libx11-dev, libcairo2-dev, libpango1.0-dev, libcurl4-openssl-dev, libssl-dev, libgif-dev, pkg-config")
set(CPACK_DEBIAN_TOOLS_PACKAGE_NAME qvad-tools)
set(CPACK_DEBIAN_TOOLS_PACKAGE_SECTION devel)
set(CPACK_COMPONENT_RUNTIME_DESCRIPTION "qvad advertising library (shared library)")
set(CPACK_COMPONENT_DEV_DESCRIPTION "qvad advertising library (headers, static library, CMake and pkg-config files)")
set(CPACK_COMPONENT_TOOLS_DESCRIPTION "qvadctl and qvad-sandbox, the reference ad platform server")
include(CPack)
