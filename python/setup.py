"""Builds the Python module kotran from this checkout's sources.

    pip install --no-build-isolation ./python

builds libkotran (CMake and Ninja) in python/build/ first; with
KOTRAN_BUILD=DIR it links the libkotran.a of that existing build instead.
"""
import os
import subprocess

from setuptools import Extension, setup

here = os.path.dirname(os.path.abspath(__file__))
root = os.path.dirname(here)
build = os.environ.get("KOTRAN_BUILD")
if build:
    build = os.path.abspath(build)
else:
    build = os.path.join(here, "build", "libkotran")
    subprocess.check_call(["cmake", "-S", root, "-B", build, "-G", "Ninja", "-DCMAKE_BUILD_TYPE=Release",
                           "-DKOTRAN_TESTS=OFF", "-DKOTRAN_SHARED=OFF"])
    subprocess.check_call(["cmake", "--build", build, "--target", "kotran_core"])

setup(
    name="kotran",
    version="1.0.0",
    description="Recognising and converting Japanese text (Shift-JIS, EUC, JIS, UTF-8, UTF-16)",
    ext_modules=[Extension("kotran", [os.path.join("kotran_module.c")],
                           include_dirs=[os.path.join(root, "include")],
                           extra_objects=[os.path.join(build, "libkotran.a")],
                           libraries=["stdc++", "m"])],
)
