# Icon 1 (drawn by the host build's mkicon) and the application manifest as RT_MANIFEST (24) 1; neutral in
# language like every resource of setup.rc.in.
set(PROGRAM_ICON ${HOST_TOOLS_DIR}/setup.ico)
set(PROGRAM_MANIFEST ${CMAKE_SOURCE_DIR}/resources/setup.manifest)
list(APPEND RESOURCE_DEPS ${PROGRAM_ICON} ${PROGRAM_MANIFEST})
string(APPEND RC_EXTRA "1 ICON \"${PROGRAM_ICON}\"\n1 24 \"${PROGRAM_MANIFEST}\"\n")
