# Install rules and the Debian package (cpack -G DEB in a Release build folder makes
# qks_<version>_amd64.deb).
#
# Installed layout, the build tree's bin/ and Studio/ under one private folder, so qkshost
# finds libqks.so beside itself and the plug-in finds the Studio as ../Studio/QksStudio:
#   <prefix>/lib/qks/bin/     qkshost, qksnest, qksparts, libqks.so, libqks23.so
#   <prefix>/lib/qks/Studio/  QksStudio
#   <prefix>/bin/             symbolic links to the four programs (qkshost resolves its own
#                             path through /proc/self/exe, so the link still finds the plug-in)
#   <prefix>/share/           samples, man pages, desktop entry, icon, copyright, changelog

set(QKS_PACKAGING_DIR ${CMAKE_SOURCE_DIR}/packaging)
set(QKS_INSTALL_DIR lib/qks)
set(qks_programs qkshost qksnest qksparts)
set(qks_plugins qks qks23)

foreach(target IN LISTS qks_programs)
  if(TARGET ${target})
    install(TARGETS ${target} RUNTIME DESTINATION ${QKS_INSTALL_DIR}/bin)
  endif()
endforeach()
foreach(target IN LISTS qks_plugins)
  if(TARGET ${target})
    install(TARGETS ${target} LIBRARY DESTINATION ${QKS_INSTALL_DIR}/bin)
  endif()
endforeach()
set(qks_links)
foreach(target IN LISTS qks_programs)
  if(TARGET ${target})
    list(APPEND qks_links "${target}|../${QKS_INSTALL_DIR}/bin/${target}")
  endif()
endforeach()
if(TARGET QksStudio)
  install(TARGETS QksStudio RUNTIME DESTINATION ${QKS_INSTALL_DIR}/Studio)
  list(APPEND qks_links "QksStudio|../${QKS_INSTALL_DIR}/Studio/QksStudio")
  install(FILES ${QKS_PACKAGING_DIR}/qksstudio.desktop DESTINATION share/applications)
  install(FILES ${QKS_PACKAGING_DIR}/qksstudio.svg
          DESTINATION share/icons/hicolor/scalable/apps)
endif()
# Relative links, so they hold in the package's staging folder and on the machine alike.
install(CODE "
  foreach(entry IN ITEMS ${qks_links})
    string(REPLACE \"|\" \";\" entry \"\${entry}\")
    list(GET entry 0 name)
    list(GET entry 1 target)
    set(link \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/bin/\${name}\")
    message(STATUS \"Installing: \${link} -> \${target}\")
    file(MAKE_DIRECTORY \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/bin\")
    file(REMOVE \"\${link}\")
    file(CREATE_LINK \"\${target}\" \"\${link}\" SYMBOLIC)
  endforeach()
")

install(DIRECTORY ${CMAKE_SOURCE_DIR}/samples/ DESTINATION share/qks/samples
        FILES_MATCHING PATTERN "*.dxf" PATTERN "*.dwg")

# Man pages and the changelog, with the project's version, compressed the way Debian wants
# them (gzip -9n: no name, no time stamp). Made when CMake configures; an edit configures again.
find_program(QKS_GZIP gzip REQUIRED)
set(qks_pkg_out ${CMAKE_BINARY_DIR}/packaging)
file(MAKE_DIRECTORY ${qks_pkg_out}/man)
function(qks_gzip_configured source output)
  configure_file(${source} ${output} @ONLY)
  execute_process(COMMAND ${QKS_GZIP} -9nf ${output} RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "gzip ${output} failed")
  endif()
endfunction()
foreach(page IN ITEMS qkshost qksnest qksparts QksStudio)
  if(TARGET ${page})
    qks_gzip_configured(${QKS_PACKAGING_DIR}/man/${page}.1 ${qks_pkg_out}/man/${page}.1)
    install(FILES ${qks_pkg_out}/man/${page}.1.gz DESTINATION share/man/man1)
  endif()
endforeach()
qks_gzip_configured(${QKS_PACKAGING_DIR}/changelog.in ${qks_pkg_out}/changelog)
install(FILES ${qks_pkg_out}/changelog.gz ${QKS_PACKAGING_DIR}/copyright
        DESTINATION share/doc/qks)

# The Debian package.
set(QKS_PACKAGE_MAINTAINER "QKS maintainers <maintainers@users.noreply.c-seed-72f3ba31.example>"
    CACHE STRING "Maintainer field of the Debian package")
set(QKS_PACKAGE_HOMEPAGE "https://c-seed-72f3ba31.example/qks"
    CACHE STRING "Homepage field of the Debian package")
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME qks)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Corvane Studio")
set(CPACK_PACKAGE_CONTACT ${QKS_PACKAGE_MAINTAINER})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "sheet-metal drawing toolkit: nesting, plotting, merging")
# CPack makes the summary the synopsis line and indents this text below it.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Corvane Studio for CAD users who cut sheet metal. qkshost is a headless
drawing host for DXF and DWG drawings; it loads the qks plug-in, which nests
sheet-metal parts onto stock sheets, plots drawings to PDF and merges
drawings into one labelled grid. QksStudio is the Qt desktop companion
(Chinese user interface) that writes the job configs and follows the jobs.
qksnest and qksparts run the nest engine and the part extraction on their
own. Sample drawings are in /usr/share/qks/samples.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${QKS_PACKAGE_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${QKS_PACKAGE_HOMEPAGE})
# Runtime dependencies from the linked libraries (dpkg-shlibdeps, from dpkg-dev).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Chinese text (the Studio, the nest drawing's labels in PDFs) wants a CJK font.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-wqy-microhei | fonts-noto-cjk")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
