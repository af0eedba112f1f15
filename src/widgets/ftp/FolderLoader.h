// The FTP views' way of listing a folder for their model: one guarded
// server call on the site (nothing while another call runs on it).
#pragma once

namespace velkor {

class CFtpSite;
class CVFDLModel;

// Lets the model list the site's folders (true: listed, or tried and
// failed; false: busy, or cancelled while it waited).
void SetFolderLoader(CVFDLModel* model, CFtpSite* site);

}  // namespace velkor
