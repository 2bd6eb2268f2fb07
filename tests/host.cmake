# eqm-host, the example scenes, the example hosts and the installed package.

if(TARGET eqm_host_core)
  target_link_libraries(host_scene_test PRIVATE eqm_host_core)
  target_link_libraries(host_run_test PRIVATE eqm_host_core)
  target_compile_definitions(host_run_test PRIVATE
    ZTEQM_MODULE_PATH="$<TARGET_FILE:ztequationmanager>")
endif()
