# The desktop program's standalone pieces (about box, help pages, folder
# chooser, single-instance guard) and what the desktop needs beside the
# program: help pages, menu entry, icons.
include(GNUInstallDirs)
find_package(Qt6 REQUIRED COMPONENTS Widgets)

set(NUBIKA_HELP_BASE_URL "" CACHE STRING
    "Address (web or local folder) the help pages are opened from; empty for the pages shipped with the program")
set(NUBIKA_HOME_PAGE_URL "" CACHE STRING
    "The maker's home page linked from the about box; empty for index.htm of the help pages")

# The help folder lies at the same place relative to the program in the
# build tree and after install, so the program finds it in both.
set(nubika_help_install_dir "${CMAKE_INSTALL_DATADIR}/nubika-sitemap/help")
file(RELATIVE_PATH nubika_help_relative_dir "${CMAKE_INSTALL_FULL_BINDIR}"
     "${CMAKE_INSTALL_FULL_DATADIR}/nubika-sitemap/help")
get_filename_component(nubika_help_build_dir "${nubika_help_relative_dir}"
                       ABSOLUTE BASE_DIR "${CMAKE_RUNTIME_OUTPUT_DIRECTORY}")
set(NUBIKA_HELP_BUILD_DIR "${nubika_help_build_dir}" CACHE INTERNAL "The help pages of the build tree")

set(nubika_help_pages index.htm style.css soft/nubika_sitemap_hatena.htm soft/nubika_sitemap_howtouse.htm)
foreach(page IN LISTS nubika_help_pages)
  configure_file(help/${page} "${nubika_help_build_dir}/${page}" COPYONLY)
endforeach()
configure_file(icons/nubika-sitemap-64.png "${nubika_help_build_dir}/logo.png" COPYONLY)

add_library(nubika_shell STATIC
  InstanceGuard.cpp clCalledWinDialog.cpp HelpPages.cpp ProductIcon.cpp TfrmVersionInfo.cpp)
set_target_properties(nubika_shell PROPERTIES AUTOMOC ON)
target_include_directories(nubika_shell PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(nubika_shell PUBLIC Qt6::Widgets nubika_settings)
target_compile_definitions(nubika_shell PRIVATE
  NUBIKA_HELP_BASE_URL="${NUBIKA_HELP_BASE_URL}"
  NUBIKA_HOME_PAGE_URL="${NUBIKA_HOME_PAGE_URL}"
  NUBIKA_HELP_RELATIVE_DIR="${nubika_help_relative_dir}"
  NUBIKA_HELP_INSTALLED_DIR="${CMAKE_INSTALL_FULL_DATADIR}/nubika-sitemap/help")
set(nubika_icon_sizes 32 48 64 128 256)
list(TRANSFORM nubika_icon_sizes REPLACE "(.+)" "icons/nubika-sitemap-\\1.png" OUTPUT_VARIABLE nubika_icon_files)
qt_add_resources(nubika_shell nubika_icons PREFIX /nubika FILES ${nubika_icon_files})

install(DIRECTORY help/ DESTINATION "${nubika_help_install_dir}")
install(FILES icons/nubika-sitemap-64.png DESTINATION "${nubika_help_install_dir}" RENAME logo.png)
install(FILES jp.nubika.sitemap.desktop DESTINATION "${CMAKE_INSTALL_DATADIR}/applications")
foreach(side IN LISTS nubika_icon_sizes)
  install(FILES icons/nubika-sitemap-${side}.png RENAME nubika-sitemap.png
          DESTINATION "${CMAKE_INSTALL_DATADIR}/icons/hicolor/${side}x${side}/apps")
endforeach()
install(FILES icons/nubika-sitemap.svg DESTINATION "${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps")
