"""Makes the module under test importable: CTest sets PELLORIA_BIN (the folder
holding the programs, the module and the plug-ins) and PELLORIA_SOURCE; see
tests/CMakeLists.txt."""
import os
import sys

sys.path.insert(0, os.environ["PELLORIA_BIN"])
