# The logo that the host build's mklogo draws (tools/mklogo.cmake), embedded as resource "LOGO" of type "PNG";
# neutral in language like every resource of setup.rc.in.
set(LOGO_PNG ${HOST_TOOLS_DIR}/logo.png)
list(APPEND RESOURCE_DEPS ${LOGO_PNG})
string(APPEND RC_EXTRA "LOGO PNG \"${LOGO_PNG}\"\n")
