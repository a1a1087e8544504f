# The component "simulator": what an integrator needs to run a program of
# their own on a simulated board without this build tree. mmb-sim finds
# its pieces relative to itself (bin/ and lib/ of one prefix): the device
# shim, the simulated tools and daemons. The stand-ins of the board's closed
# libraries (archives and declarations) are what a simulator build's
# MMB::startup links. A cross build installs only those: the simulator's
# programs are the host's, from a host build.
set(MMB_SIM_LIBDIR ${CMAKE_INSTALL_LIBDIR}/mmb-sim)
set(MMB_SIM_INCLUDEDIR ${CMAKE_INSTALL_INCLUDEDIR}/mmb-sim)

install(TARGETS sim_libraries sim_driver ARCHIVE DESTINATION ${MMB_SIM_LIBDIR} COMPONENT simulator)
install(FILES platform/include/MMBLib.h platform/include/libdual.h platform/include/lmsg.h
              platform/include/mmbtrace.h
  DESTINATION ${MMB_SIM_INCLUDEDIR} COMPONENT simulator)
target_include_directories(closed_libraries INTERFACE $<INSTALL_INTERFACE:${MMB_SIM_INCLUDEDIR}>)
foreach(archive mmbsim-libraries mmbsim-driver)
  target_link_libraries(closed_libraries INTERFACE
    "$<INSTALL_INTERFACE:$<INSTALL_PREFIX>/${MMB_SIM_LIBDIR}/lib${archive}.a>")
endforeach()

set(MMB_PC_LIBS_PRIVATE "-L\${prefix}/${MMB_SIM_LIBDIR} -lmmbsim-libraries -lmmbsim-driver")
set(MMB_PC_CFLAGS_PLATFORM " -I\${prefix}/${MMB_SIM_INCLUDEDIR}")

if(NOT CMAKE_CROSSCOMPILING)
  # Literally lib/: mmb-sim preloads <prefix>/lib/libmmbsim-devices.so.
  install(TARGETS mmb-sim mmb-sim-tool mmb-trace-service dualprocess mmb-daemon
    RUNTIME DESTINATION bin COMPONENT simulator)
  install(TARGETS mmbsim-devices LIBRARY DESTINATION lib COMPONENT simulator)
endif()
