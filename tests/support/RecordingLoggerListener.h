#pragma once

#include "core/LoggerListener.h"
#include "core/String.h"

#include <atomic>
#include <cstddef>
#include <iterator>
#include <mutex>
#include <string>
#include <vector>

namespace support {

// A logger listener that keeps every entry it is given, and counts flushes. Entries may arrive from
// any thread (a USB reader logs on its own); every access to them takes the recorder's lock, and
// reads hand out copies, so a test may look at the entries while another thread still logs.
class RecordingLoggerListener : public rezezaz::core::LoggerListener
{
public:
    struct Entry
    {
        rezezaz::core::Logger::Category* category;
        std::string categoryName; // empty without a category
        rezezaz::core::Logger::Level level;
        unsigned long long time;
        std::string text;
    };

    // The entries in the order received, read like a vector; element access returns copies.
    class Entries
    {
    public:
        class const_iterator
        {
        public:
            using iterator_category = std::input_iterator_tag;
            using value_type = Entry;
            using difference_type = std::ptrdiff_t;
            using pointer = const Entry*;
            using reference = Entry;

            const_iterator(const Entries* entries, std::size_t index) : mEntries(entries), mIndex(index) {}
            Entry operator*() const { return (*mEntries)[mIndex]; }
            const_iterator& operator++()
            {
                ++mIndex;
                return *this;
            }
            bool operator==(const const_iterator& other) const { return mIndex == other.mIndex; }
            bool operator!=(const const_iterator& other) const { return mIndex != other.mIndex; }

        private:
            const Entries* mEntries;
            std::size_t mIndex;
        };

        void push_back(Entry entry)
        {
            std::lock_guard<std::mutex> lock(mMutex);
            mEntries.push_back(std::move(entry));
        }
        void clear()
        {
            std::lock_guard<std::mutex> lock(mMutex);
            mEntries.clear();
        }
        std::size_t size() const
        {
            std::lock_guard<std::mutex> lock(mMutex);
            return mEntries.size();
        }
        bool empty() const { return size() == 0; }
        Entry operator[](std::size_t index) const
        {
            std::lock_guard<std::mutex> lock(mMutex);
            return mEntries.at(index);
        }
        Entry back() const
        {
            std::lock_guard<std::mutex> lock(mMutex);
            return mEntries.back();
        }
        std::vector<Entry> snapshot() const
        {
            std::lock_guard<std::mutex> lock(mMutex);
            return mEntries;
        }
        // Iteration covers the entries there were when it began.
        const_iterator begin() const { return const_iterator(this, 0); }
        const_iterator end() const { return const_iterator(this, size()); }

    private:
        mutable std::mutex mMutex;
        std::vector<Entry> mEntries;
    };

    void addLogEntry(rezezaz::core::Logger::Category* category, rezezaz::core::Logger::Level level,
                     unsigned long long time, const rezezaz::core::String& text) override
    {
        entries.push_back(
            Entry{category, category ? category->getName().c_str() : "", level, time, text.c_str()});
    }

    void flush() override { ++flushes; }

    // The texts of the entries, in the order received.
    std::vector<std::string> texts() const
    {
        std::vector<std::string> result;
        for (const Entry& entry : entries.snapshot())
            result.push_back(entry.text);
        return result;
    }

    Entries entries;
    std::atomic<int> flushes{0};
};

} // namespace support
