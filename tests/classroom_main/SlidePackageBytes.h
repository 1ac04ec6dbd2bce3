// Slide packages as the relay serves them, for the programs that link the slide-image drawer.
#pragma once
#include <cstdint>
#include <string>

void PutI32(std::string& out, int32_t v);
void PutI16(std::string& out, int16_t v);
// A slide package of count pages, each JPEG carrying its page number.
std::string Package(const std::string& name, int count);
