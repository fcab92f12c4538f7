# The pairs of real raylib and raygui releases the game is built and run on, as
# "<raylib>+<raygui>". Each names two folders of ../shared/third_party,
# raylib-<raylib> and raygui-<raygui>. test.sh builds the game on each
# (build_pairs.cmake), tests/e2e runs each build, and the configure cases check that
# these are taken and the other pairs refused (cmake/system_raylib.cmake).
set(VORBEL_RAYLIB_PAIRS 5.0+4.0 5.5+4.0 5.5+5.0 6.0+5.0)
# Pairs of the same releases that configuring refuses, each for its own reason.
set(VORBEL_REFUSED_RAYLIB_PAIRS 5.0+5.0 6.0+4.0)

# Splits "<raylib>+<raygui>" into <out>_RAYLIB and <out>_RAYGUI.
function(vorbel_split_pair pair out)
  string(REPLACE "+" ";" parts "${pair}")
  list(GET parts 0 raylib)
  list(GET parts 1 raygui)
  set(${out}_RAYLIB "${raylib}" PARENT_SCOPE)
  set(${out}_RAYGUI "${raygui}" PARENT_SCOPE)
endfunction()
