# The installed layout: the two programs in bin/, the engine (under the file
# name the programs look for) and the skin in the private directory that the
# programs find from their own (SUNDREL_INSTALL_PRIVATE_DIR), and the desktop
# integration, manual pages and completion from data/.
install(TARGETS sundrel-split RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(TARGETS tovix RUNTIME DESTINATION ${SUNDREL_INSTALL_PRIVATE_DIR})
if(TARGET sundrel)
  install(TARGETS sundrel RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${PROJECT_SOURCE_DIR}/app/xpblue.smf DESTINATION ${SUNDREL_INSTALL_PRIVATE_DIR})
endif()
add_subdirectory(data)
