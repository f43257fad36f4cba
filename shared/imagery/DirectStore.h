#pragma once
// The images, listings and notes the direct source keeps in the cache folder's "direct" folder:
// "<WWWW>/<archive name>.jpg" per channel, "listings/<yyyyMMdd>.html" with their validators,
// "rejected.txt" (names never fetched again), "suspects.txt" (names that failed once and are asked for
// again), "<id>.frames" (the slots of the clip last made) and "pieces/<id>/" (the clip maker's pieces).
// Used by one pass at a time, under the pass lock.

#include "BrowseFetch.h"
#include "BrowseRules.h"

#include <QByteArray>
#include <QDate>
#include <QSet>
#include <QString>
#include <map>
#include <optional>
#include <vector>

class DirectStore {
public:
    // Images of `size` pixels: 1024 in "<WWWW>/", other sizes in "<size>/<WWWW>/".
    DirectStore(const QString& folder, const std::vector<int>& channels, int size = Browse::imageSize);

    int size() const { return size_; }

    // One channel's images on disk, oldest first.
    const std::vector<Browse::Image>& held(int channel) const;
    QString path(const Browse::Image& image) const;
    bool holds(const Browse::Image& image) const;
    bool isRejected(const QString& name) const;
    // Sets a damaged image aside: deleted and named in the log with the reason. Whether it is asked for
    // again on a later pass is Browse::judgeFailure's rule; a rejected name is never fetched again.
    void setAside(const QString& name, const QString& why, bool cutShort = false);
    // The moment a pass lists day folders from: the oldest of each channel's newest image, or of its
    // window's start while the window's first slot is not held (a pass cut short, or first light only),
    // and of any image promised a second try. Nothing when a channel holds none.
    std::optional<QDateTime> listFrom() const;

    BrowseFetch::Request listingRequest(const QString& url, const QDate& day) const;
    // The day's listing after a request: a new one put in place, the one held when unchanged or when the
    // host failed; nothing when there is none (or the folder is gone: 404).
    std::optional<QByteArray> acceptListing(const QDate& day, const BrowseFetch::Result& result);
    void removeListingsExcept(const std::vector<QDate>& days);
    // A request for the end of a day's listing, from the last half hour of the copy held on (see
    // ListingTail.h), conditional on its validators; nothing when no copy is held, or when the host
    // sends it compressed and the whole of it compressed costs less than its end plain.
    std::optional<BrowseFetch::Request> tailRequest(const QString& url, const QDate& day) const;
    // The day's whole listing after tailRequest's answer: the copy held when unchanged, the new end
    // joined to it, or the whole listing from a server that ignored the range; each kept with its
    // validators. Nothing when the answer cannot be used (ask for the whole listing then).
    std::optional<QByteArray> acceptTail(const QDate& day, const BrowseFetch::Result& result);

    // Of `listed` (one channel, oldest first), the newest image of each slot in the window that ends at
    // the newest image listed or held.
    std::vector<Browse::Image> newestPerSlot(int channel, const std::vector<Browse::Image>& listed) const;
    BrowseFetch::Request imageRequest(const QString& url, const Browse::Image& image, qint64 largest) const;
    // Puts a downloaded image in place after checking it is a whole JPEG of the size asked for; true
    // when it is now held.
    bool acceptImage(const Browse::Image& image, const BrowseFetch::Result& result);
    // Removes images older than their channel's window, and all but the newest image of a slot.
    void removeOutsideWindows();

    // Where the clip maker keeps a product's pieces between passes.
    QString piecesFolder(const QString& productID) const;
    // Removes the pieces of every product but these (the screens no longer want the others).
    void keepPiecesOf(const QStringList& productIDs);
    QString fingerprint(const QString& productID) const;
    void setFingerprint(const QString& productID, const QString& text);

private:
    QString channelFolder(int channel) const;
    QString listingPath(const QDate& day) const;
    void forget(const Browse::Image& image);
    void removeStaleTemporaries();
    void saveNames(const QSet<QString>& names, const QString& file) const;

    QString folder_;
    int size_ = Browse::imageSize;
    std::map<int, std::vector<Browse::Image>> held_;
    QSet<QString> heldNames_;
    QSet<QString> rejected_;
    QSet<QString> suspects_;
};
