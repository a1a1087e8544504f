# Coverage builds (MMB_COVERAGE): only what is measured, the start-up library
# and nvram, is instrumented; the simulator and its device shim stay plain,
# so no board process but ours writes coverage data.
#
# MMB_COVERAGE tells the code built for it:
#   - a forked child flushes its counters before it execs (exec drops them),
#     and a start-up program before reboot(2) and before it waits for good;
#   - mmb-sim binds the build tree writable into the board's sandbox, so the
#     programs run there write their counters back into it.
foreach(target startup nvram)
  target_compile_options(${target} PRIVATE --coverage)
  target_compile_definitions(${target} PRIVATE MMB_COVERAGE)
endforeach()
# Every program that links the library links the gcov runtime with it.
target_link_options(startup INTERFACE --coverage)
target_link_options(nvram PRIVATE --coverage)
if(TARGET mmb-sim)
  target_compile_definitions(mmb-sim PRIVATE MMB_COVERAGE)
endif()
