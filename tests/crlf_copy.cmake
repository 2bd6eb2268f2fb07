# Copies a scene and its data files into OUT, the data files with CR LF line ends, as a file
# written on Windows has them.  -DSCENE=file.json -DOUT=dir
get_filename_component(scene_dir ${SCENE} DIRECTORY)
file(REMOVE_RECURSE ${OUT})
file(COPY ${SCENE} DESTINATION ${OUT})
file(GLOB data RELATIVE ${scene_dir} ${scene_dir}/data/*)
foreach(name ${data})
  file(READ ${scene_dir}/${name} text)
  string(REPLACE "\r\n" "\n" text "${text}")
  string(REPLACE "\n" "\r\n" text "${text}")
  file(WRITE ${OUT}/${name} "${text}")
endforeach()
