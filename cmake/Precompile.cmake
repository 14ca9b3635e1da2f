# Precompiled headers for the targets whose sources spend most of their
# compile time reading Qt, GoogleTest and Asio. Which headers a target gets
# depends on what it links, so that a header never reaches a target that
# could not include it. The headers change nothing a source sees: each
# source still includes what it uses.
set(VANTARO_PCH_STANDARD <algorithm> <array> <chrono> <cstdint> <functional> <map> <memory> <optional> <random>
    <string> <vector>)
set(VANTARO_PCH_CORE <QByteArray> <QDir> <QFile> <QJsonArray> <QJsonDocument> <QJsonObject> <QObject> <QString>
    <QTemporaryDir>)
set(VANTARO_PCH_WIDGETS <QApplication> <QImage> <QLabel> <QPainter> <QPushButton> <QTimer> <QWidget>)

# vantaro_precompile(TARGET [WIDGETS] [ASIO] [GTEST] [QTEST])
function(vantaro_precompile target)
    if(NOT TARGET ${target})
        return()
    endif()
    cmake_parse_arguments(PCH "WIDGETS;ASIO;GTEST;QTEST" "" "" ${ARGN})
    set(headers ${VANTARO_PCH_STANDARD} ${VANTARO_PCH_CORE})
    if(PCH_WIDGETS)
        list(APPEND headers ${VANTARO_PCH_WIDGETS})
    endif()
    if(PCH_QTEST)
        list(APPEND headers <QTest>)
    endif()
    if(PCH_GTEST)
        list(APPEND headers <gtest/gtest.h>)
    endif()
    if(PCH_ASIO)
        list(APPEND headers <asio.hpp> <asio/ssl.hpp>)
    endif()
    target_precompile_headers(${target} PRIVATE ${headers})
endfunction()

# ccache caches a compile that uses a precompiled header only when told
# that the header's time stamps and predefined macros may be trusted.
if(CMAKE_CXX_COMPILER_LAUNCHER MATCHES "ccache")
    set(CMAKE_CXX_COMPILER_LAUNCHER ${CMAKE_COMMAND} -E env
        "CCACHE_SLOPPINESS=pch_defines,time_macros,include_file_mtime,include_file_ctime"
        ${CMAKE_CXX_COMPILER_LAUNCHER})
endif()
